// analysis_report.h: the current analysis report as a document: the facts of
// the run (driver, port, time), tables of figures and the window's plots,
// written as a PDF with Qt's own PDF writer, and the same content as JSON
// beside it. Each write goes to a temporary file that replaces the target only
// once it is complete, so a failed write leaves no half a report. Depends on
// Qt Widgets and QCustomPlot.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

class QCustomPlot;

namespace velkor {

struct ReportTable {
  QString title;
  QStringList columns;
  std::vector<QStringList> rows;
};

struct ReportPlot {
  QString title;
  QCustomPlot* plot;  // drawn as it is, in the report's light colours
};

struct AnalysisReport {
  QString title;
  std::vector<std::pair<QString, QString>> facts;  // name, value
  std::vector<ReportTable> tables;
  std::vector<ReportPlot> plots;
  QByteArray json;  // the same content for programs
};

// The JSON file beside a report: the same name with ".json" in place of ".pdf".
QString JsonPathBeside(const QString& pdfPath);

// None on success; otherwise why the file could not be written, in words.
std::optional<QString> WriteReportPdf(const AnalysisReport& report, const QString& path);
std::optional<QString> WriteReportJson(const AnalysisReport& report, const QString& path);

}  // namespace velkor
