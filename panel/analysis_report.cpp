// analysis_report.cpp: laying the report out on A4 pages and writing its files.
#include "analysis_report.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <qcustomplot.h>

#include "analysis_plot.h"

namespace velkor {
namespace {

// A page of 96 units an inch: the sizes a widget has on the screen.
constexpr int PAGE_DPI = 96;
constexpr int MARGIN_MM = 15;
constexpr int GAP = 10;
constexpr int PLOT_HEIGHT = 320;
constexpr int CELL_PADDING = 3;
constexpr int HEADING_KEEP = 80;

// Writes top to bottom, starting a new page where the next block does not fit.
class PageWriter {
 public:
  PageWriter(QPdfWriter& writer, QCPPainter& painter)
      : writer_(writer), painter_(painter), width_(painter.viewport().width()), height_(painter.viewport().height()) {}

  void Title(const QString& text) {
    QFont font = painter_.font();
    font.setPointSizeF(14);
    font.setBold(true);
    Text(text, font);
  }
  // A heading stays with the start of what it heads: `keep` is the room
  // the heading and that start need together.
  void Heading(const QString& text, int keep = HEADING_KEEP) {
    QFont font = painter_.font();
    font.setPointSizeF(11);
    font.setBold(true);
    y_ += GAP / 2;
    Room(keep);
    Text(text, font);
  }
  void Text(const QString& text, const QFont& font) {
    painter_.setFont(font);
    const QRect bounds = painter_.fontMetrics().boundingRect(QRect(0, 0, width_, height_), Qt::TextWordWrap, text);
    Room(bounds.height());
    painter_.drawText(QRect(0, y_, width_, bounds.height()), Qt::TextWordWrap, text);
    y_ += bounds.height() + GAP / 2;
  }

  void Table(const ReportTable& table, const QFont& font) {
    Heading(table.title);
    painter_.setFont(font);
    const int columns = static_cast<int>(table.columns.size());
    if (columns == 0) return;
    // The first column holds names and gets what the others leave.
    const int nameWidth = width_ * (columns > 4 ? 30 : 40) / 100;
    const int otherWidth = columns > 1 ? (width_ - nameWidth) / (columns - 1) : 0;
    const auto left = [&](int c) { return c == 0 ? 0 : nameWidth + (c - 1) * otherWidth; };
    const auto right = [&](int c) { return c == 0 ? (columns > 1 ? nameWidth : width_) : left(c) + otherWidth; };
    const auto row = [&](const QStringList& cells, bool bold) {
      QFont f = font;
      f.setBold(bold);
      painter_.setFont(f);
      int rowHeight = 0;
      for (int c = 0; c < columns && c < cells.size(); ++c) {
        const QRect cell(0, 0, right(c) - left(c) - 2 * CELL_PADDING, height_);
        rowHeight = std::max(rowHeight, painter_.fontMetrics().boundingRect(cell, Qt::TextWordWrap, cells[c]).height());
      }
      rowHeight += 2 * CELL_PADDING;
      Room(rowHeight);
      for (int c = 0; c < columns && c < cells.size(); ++c) {
        const QRect cell(left(c) + CELL_PADDING, y_ + CELL_PADDING, right(c) - left(c) - 2 * CELL_PADDING,
                         rowHeight - 2 * CELL_PADDING);
        painter_.drawText(cell, Qt::TextWordWrap | (c == 0 ? Qt::AlignLeft : Qt::AlignRight), cells[c]);
      }
      painter_.setPen(QPen(Qt::gray, 0));
      painter_.drawLine(QLineF(0, y_ + rowHeight, width_, y_ + rowHeight));
      painter_.setPen(QPen(Qt::black));
      y_ += rowHeight;
    };
    row(table.columns, true);
    for (const QStringList& cells : table.rows) row(cells, false);
    y_ += GAP;
  }

  void Plot(const ReportPlot& plot) {
    Heading(plot.title, HEADING_KEEP + PLOT_HEIGHT);  // the plot on the heading's page
    Room(PLOT_HEIGHT);
    const QPalette shown = plot.plot->palette();
    StylePlot(plot.plot, PagePalette());
    painter_.save();
    painter_.translate(0, y_);
    plot.plot->toPainter(&painter_, width_, PLOT_HEIGHT);
    painter_.restore();
    StylePlot(plot.plot, shown);
    plot.plot->replot(QCustomPlot::rpQueuedReplot);
    y_ += PLOT_HEIGHT + GAP;
  }

 private:
  void Room(int needed) {
    if (y_ == 0 || y_ + needed <= height_) return;
    writer_.newPage();
    y_ = 0;
  }

  QPdfWriter& writer_;
  QCPPainter& painter_;
  int width_;
  int height_;
  int y_ = 0;
};

}  // namespace

QString JsonPathBeside(const QString& pdfPath) {
  const QFileInfo info(pdfPath);
  return info.dir().filePath(info.completeBaseName() + ".json");
}

std::optional<QString> WriteReportPdf(const AnalysisReport& report, const QString& path) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  {
    QPdfWriter writer(&file);
    writer.setTitle(report.title);
    writer.setCreator(QStringLiteral("Velkor"));
    writer.setResolution(PAGE_DPI);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(MARGIN_MM, MARGIN_MM, MARGIN_MM, MARGIN_MM), QPageLayout::Millimeter);
    QCPPainter painter;
    if (!painter.begin(&writer)) return QStringLiteral("не удалось начать запись PDF");
    QFont body = painter.font();
    body.setPointSizeF(9);
    PageWriter page(writer, painter);
    page.Title(report.title);
    for (const auto& [name, value] : report.facts) page.Text(name + ": " + value, body);
    for (const ReportTable& table : report.tables) page.Table(table, body);
    for (const ReportPlot& plot : report.plots) page.Plot(plot);
    painter.end();
  }
  if (!file.commit()) return file.errorString();
  return std::nullopt;
}

std::optional<QString> WriteReportJson(const AnalysisReport& report, const QString& path) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();
  if (file.write(report.json) != report.json.size()) return file.errorString();
  if (!file.commit()) return file.errorString();
  return std::nullopt;
}

}  // namespace velkor
