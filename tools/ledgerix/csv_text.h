// CSV as RFC 4180 writes it, for the reports' spreadsheets: fields
// separated by commas, records ended by CR LF, a field in double quotes
// (its quotes doubled) when it holds a comma, a quote or a line break, so
// no text from the logs can shift a column. A field that a spreadsheet
// would run as a formula (one that starts with =, +, -, @, a tab or a
// carriage return) is written with an apostrophe in front, which
// spreadsheets show as text. Bytes pass through as they are (the database
// holds UTF-8). Pure functions; any thread.
#ifndef TOOLS_LEDGERIX_CSV_TEXT_H_
#define TOOLS_LEDGERIX_CSV_TEXT_H_

#include <initializer_list>
#include <string>
#include <string_view>

// One field, quoted where needed.
std::string CsvField(std::string_view text);

// Appends one record of `fields`, ended by CR LF, to `out`.
void AppendCsvRecord(std::initializer_list<std::string_view> fields, std::string* out);

#endif  // TOOLS_LEDGERIX_CSV_TEXT_H_
