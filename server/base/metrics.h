// A small process-wide metrics registry: counters, gauges and histograms
// that any thread bumps without a lock, gathered into families with a name,
// a help text and label sets, and rendered to the Prometheus text format by
// a pure function of a snapshot.
//
// A metric is looked up once (under the registry's lock) and then updated
// through atomics; the objects live as long as the registry and never move.
// Label texts are the caller's fixed words (`reason="queue_full"`), never
// data from a peer.
#ifndef SERVER_BASE_METRICS_H_
#define SERVER_BASE_METRICS_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class MetricCounter {
 public:
  void Add(uint64_t n = 1) { value_.fetch_add(n, std::memory_order_relaxed); }
  uint64_t Value() const { return value_.load(std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> value_{0};
};

class MetricGauge {
 public:
  void Set(double v) { value_.store(v, std::memory_order_relaxed); }
  double Value() const { return value_.load(std::memory_order_relaxed); }

 private:
  std::atomic<double> value_{0};
};

class MetricHistogram {
 public:
  // `bounds`: the buckets' upper bounds, ascending; +Inf is implied.
  explicit MetricHistogram(std::vector<double> bounds);
  void Observe(double value);

  struct Snapshot {
    std::vector<double> bounds;
    std::vector<uint64_t> cumulative;  // one per bound, then +Inf (the count)
    double sum = 0;
  };
  Snapshot Take() const;

 private:
  const std::vector<double> bounds_;
  std::unique_ptr<std::atomic<uint64_t>[]> buckets_;  // bounds_.size() + 1
  std::atomic<double> sum_{0};
};

enum class MetricType { kCounter, kGauge, kHistogram };

// One family as it stands at a moment, for rendering.
struct MetricFamilySnapshot {
  struct Series {
    std::string labels;  // `a="x",b="y"` or empty
    double value = 0;    // counters and gauges
    MetricHistogram::Snapshot histogram;
  };
  std::string name;
  std::string help;
  MetricType type = MetricType::kCounter;
  std::vector<Series> series;
};

class MetricsRegistry {
 public:
  // The metric of `name` with `labels`, made at its first use. A name keeps
  // the type and help of its first use.
  MetricCounter& Counter(const std::string& name, const std::string& help,
                         const std::string& labels = "");
  MetricGauge& Gauge(const std::string& name, const std::string& help,
                     const std::string& labels = "");
  MetricHistogram& Histogram(const std::string& name, const std::string& help,
                             const std::vector<double>& bounds, const std::string& labels = "");

  // Every family in name order, each series in label order.
  std::vector<MetricFamilySnapshot> Snapshot() const;

 private:
  struct Family {
    std::string help;
    MetricType type;
    std::map<std::string, std::unique_ptr<MetricCounter>> counters;
    std::map<std::string, std::unique_ptr<MetricGauge>> gauges;
    std::map<std::string, std::unique_ptr<MetricHistogram>> histograms;
  };
  Family& FamilyLocked(const std::string& name, const std::string& help, MetricType type);

  mutable std::mutex mu_;
  std::map<std::string, Family> families_;  // guarded by mu_
};

// The server's one registry.
MetricsRegistry& ProcessMetrics();

// The Prometheus text exposition format (version 0.0.4) of `families`.
std::string RenderMetricsText(const std::vector<MetricFamilySnapshot>& families);

#endif  // SERVER_BASE_METRICS_H_
