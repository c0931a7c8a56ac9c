// side_dialog.h: the file dialogs and message boxes of the windows beside the
// panel (profiles, charts). None of them is modal: a modal dialog of a window
// that is the panel's child would block the panel too, and "Стоп" must stay at
// hand while the operator picks a file or reads a message. Each deletes itself
// when closed. Depends on Qt Widgets.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace velkor {

struct FileQuestion {
  QString title = {};
  QString folder = {};
  QString filter = {};
  bool save = false;
  // Added to a name typed without it, before replacing an existing file is
  // asked about; empty for none.
  QString defaultSuffix = {};
};

// Asks for a file beside `owner`. `chosen` runs with the path once the
// operator accepts, `cancelled` (when given) if not. While a question of the
// same owner is open, a second one only brings it to the front.
void AskForFile(QWidget* owner, const FileQuestion& question, std::function<void(const QString&)> chosen,
                std::function<void()> cancelled = {});

// A message in a box of its own beside `owner`, as plain text: it may hold a
// file's name and words read from the file.
void ShowMessage(QWidget* owner, const QString& text);

// A question beside `owner` with the buttons `yesText` and "Отмена"; `yes`
// runs only once the operator picks the first.
void AskToConfirm(QWidget* owner, const QString& text, const QString& yesText, std::function<void()> yes);

}  // namespace velkor
