// csv_reader.h: reads a readings file back the way a spreadsheet or a script
// would: comment lines into a key → value map, the column line, and the rows as
// numbers. The tests check every file they write with it.
#pragma once

#include <QFile>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace velkor::test {

struct CsvFile {
  QMap<QString, QString> comments;  // "# key: value"
  QStringList columns;
  QList<QList<double>> rows;
  bool endsWithNewline = false;
  bool wellFormed = true;  // every row as wide as the column line, every field a number
};

inline CsvFile ParseCsv(const QByteArray& text) {
  CsvFile csv;
  csv.endsWithNewline = text.endsWith('\n');
  const QStringList lines = QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
  for (const QString& line : lines) {
    if (line.startsWith('#')) {
      const qsizetype colon = line.indexOf(": ");
      if (colon > 0) csv.comments.insert(line.mid(2, colon - 2), line.mid(colon + 2));
      continue;
    }
    if (csv.columns.isEmpty()) {
      csv.columns = line.split(',');
      continue;
    }
    const QStringList fields = line.split(',');
    QList<double> row;
    for (const QString& field : fields) {
      bool ok = false;
      row.append(field.toDouble(&ok));
      csv.wellFormed = csv.wellFormed && ok;
    }
    csv.wellFormed = csv.wellFormed && fields.size() == csv.columns.size();
    csv.rows.append(row);
  }
  return csv;
}

inline CsvFile ReadCsv(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {{}, {}, {}, false, false};
  return ParseCsv(file.readAll());
}

}  // namespace velkor::test
