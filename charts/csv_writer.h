// csv_writer.h: the text of a readings file. A few comment lines name the port,
// the time of the recording and the driver's parameters as last reported; then
// a line of column names, then one row a sample: seconds since the first row,
// then every reading in the order of the readings table. Plain text, decimal
// point, LF line ends. Depends on the link's PanelValues and on sample.h.
#pragma once

#include <string>
#include <string_view>

#include "panel_values.h"
#include "sample.h"

namespace velkor::charts {

inline constexpr char CSV_COMMENT = '#';
inline constexpr std::string_view CSV_TIME_COLUMN = "time_s";

// The comment lines and the column names, each line ending in '\n'.
// `recordedAt` is the wall-clock time the recording began, as it should read.
std::string CsvHeader(const PanelValues& values, std::string_view recordedAt);

// Appends one row, '\n' included. The caller keeps `out` between rows, so a
// row costs no allocation once `out` has grown to a row's length.
void AppendCsvRow(std::string& out, const Sample& sample, double originSeconds);

}  // namespace velkor::charts
