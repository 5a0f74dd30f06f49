#include "server/base/metrics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

MetricHistogram::MetricHistogram(std::vector<double> bounds)
    : bounds_(std::move(bounds)), buckets_(new std::atomic<uint64_t>[bounds_.size() + 1]) {
  for (size_t i = 0; i <= bounds_.size(); ++i) buckets_[i] = 0;
}

void MetricHistogram::Observe(double value) {
  const size_t bucket = std::lower_bound(bounds_.begin(), bounds_.end(), value) - bounds_.begin();
  buckets_[bucket].fetch_add(1, std::memory_order_relaxed);
  double sum = sum_.load(std::memory_order_relaxed);
  while (!sum_.compare_exchange_weak(sum, sum + value, std::memory_order_relaxed)) {
  }
}

MetricHistogram::Snapshot MetricHistogram::Take() const {
  Snapshot s;
  s.bounds = bounds_;
  uint64_t total = 0;
  for (size_t i = 0; i <= bounds_.size(); ++i) {
    total += buckets_[i].load(std::memory_order_relaxed);
    s.cumulative.push_back(total);
  }
  s.sum = sum_.load(std::memory_order_relaxed);
  return s;
}

MetricsRegistry::Family& MetricsRegistry::FamilyLocked(const std::string& name,
                                                       const std::string& help, MetricType type) {
  auto [it, added] = families_.try_emplace(name);
  if (added) {
    it->second.help = help;
    it->second.type = type;
  }
  return it->second;
}

MetricCounter& MetricsRegistry::Counter(const std::string& name, const std::string& help,
                                        const std::string& labels) {
  std::lock_guard<std::mutex> lock(mu_);
  auto& slot = FamilyLocked(name, help, MetricType::kCounter).counters[labels];
  if (!slot) slot = std::make_unique<MetricCounter>();
  return *slot;
}

MetricGauge& MetricsRegistry::Gauge(const std::string& name, const std::string& help,
                                    const std::string& labels) {
  std::lock_guard<std::mutex> lock(mu_);
  auto& slot = FamilyLocked(name, help, MetricType::kGauge).gauges[labels];
  if (!slot) slot = std::make_unique<MetricGauge>();
  return *slot;
}

MetricHistogram& MetricsRegistry::Histogram(const std::string& name, const std::string& help,
                                            const std::vector<double>& bounds,
                                            const std::string& labels) {
  std::lock_guard<std::mutex> lock(mu_);
  auto& slot = FamilyLocked(name, help, MetricType::kHistogram).histograms[labels];
  if (!slot) slot = std::make_unique<MetricHistogram>(bounds);
  return *slot;
}

std::vector<MetricFamilySnapshot> MetricsRegistry::Snapshot() const {
  std::lock_guard<std::mutex> lock(mu_);
  std::vector<MetricFamilySnapshot> out;
  for (const auto& [name, family] : families_) {
    MetricFamilySnapshot f{name, family.help, family.type, {}};
    for (const auto& [labels, c] : family.counters)
      f.series.push_back({labels, static_cast<double>(c->Value()), {}});
    for (const auto& [labels, g] : family.gauges) f.series.push_back({labels, g->Value(), {}});
    for (const auto& [labels, h] : family.histograms) f.series.push_back({labels, 0, h->Take()});
    out.push_back(std::move(f));
  }
  return out;
}

MetricsRegistry& ProcessMetrics() {
  static MetricsRegistry* registry = new MetricsRegistry;  // never destroyed: workers outlive main
  return *registry;
}

namespace {

const char* TypeName(MetricType type) {
  switch (type) {
    case MetricType::kCounter:
      return "counter";
    case MetricType::kGauge:
      return "gauge";
    case MetricType::kHistogram:
      break;
  }
  return "histogram";
}

std::string Number(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

std::string Braced(const std::string& labels, const std::string& more = "") {
  std::string all = labels;
  if (!more.empty()) all += (all.empty() ? "" : ",") + more;
  return all.empty() ? "" : "{" + all + "}";
}

// The help text escaped as the format asks: backslash and line feed.
std::string EscapedHelp(const std::string& help) {
  std::string out;
  for (char c : help) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string RenderMetricsText(const std::vector<MetricFamilySnapshot>& families) {
  std::string out;
  for (const MetricFamilySnapshot& f : families) {
    out += "# HELP " + f.name + " " + EscapedHelp(f.help) + "\n";
    out += "# TYPE " + f.name + " " + TypeName(f.type) + "\n";
    for (const auto& s : f.series) {
      if (f.type != MetricType::kHistogram) {
        out += f.name + Braced(s.labels) + " " + Number(s.value) + "\n";
        continue;
      }
      const auto& h = s.histogram;
      for (size_t i = 0; i < h.cumulative.size(); ++i) {
        const std::string le = i < h.bounds.size() ? Number(h.bounds[i]) : "+Inf";
        out += f.name + "_bucket" + Braced(s.labels, "le=\"" + le + "\"") + " " +
               std::to_string(h.cumulative[i]) + "\n";
      }
      out += f.name + "_sum" + Braced(s.labels) + " " + Number(h.sum) + "\n";
      out += f.name + "_count" + Braced(s.labels) + " " +
             std::to_string(h.cumulative.empty() ? 0 : h.cumulative.back()) + "\n";
    }
  }
  return out;
}
