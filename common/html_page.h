// A whole HTML page in the look of the mailed reports: a grey background, a
// white column 640 pixels wide under a blue title bar. For the pages that
// are opened in a browser rather than mailed (ledgerix's report on one user,
// the kept reports and their index). Pure function; any thread.
#ifndef COMMON_HTML_PAGE_H_
#define COMMON_HTML_PAGE_H_

#include <string>

// `title` (plain text, escaped here) names the page in the browser; `body`
// is HTML that goes into the white column as it is.
std::string HtmlPage(const std::string& title, const std::string& body);

// & < > " ' as character references.
std::string EscapeHtml(const std::string& text);

#endif  // COMMON_HTML_PAGE_H_
