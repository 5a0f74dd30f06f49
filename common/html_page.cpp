#include "common/html_page.h"

std::string EscapeHtml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string HtmlPage(const std::string& title, const std::string& body) {
  // The frame of the default mail template (share/templates/En/email), so
  // a page and a mail of the same report look alike.
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>" +
         EscapeHtml(title) +
         "</title>\n</head>\n"
         "<body style=\"margin:0;padding:0;background-color:#f2f4f7\">\n"
         "<table width=\"100%\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\" "
         "bgcolor=\"#f2f4f7\">\n<tr>\n<td align=\"center\" style=\"padding:20px 10px\">\n"
         "<table width=\"640\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\" "
         "bgcolor=\"#ffffff\" style=\"border:1px solid #d5dae1\">\n<tr>\n"
         "<td bgcolor=\"#3a6ea5\" style=\"padding:14px 20px;font-family:Arial,sans-serif;"
         "font-size:20px;color:#ffffff\">\nQuorvane web filter\n</td>\n</tr>\n<tr>\n"
         "<td style=\"padding:16px 20px;font-family:Arial,sans-serif;font-size:14px;"
         "color:#222222\">\n" +
         body + "</td>\n</tr>\n</table>\n</td>\n</tr>\n</table>\n</body>\n</html>\n";
}
