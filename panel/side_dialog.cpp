// side_dialog.cpp: non-modal file dialogs and message boxes.
#include "side_dialog.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace velkor {
namespace {

void AskToReplace(QWidget* owner, const QString& path, std::function<void(const QString&)> chosen,
                  std::function<void()> cancelled) {
  auto* box = new QMessageBox(QMessageBox::Question, QCoreApplication::applicationName(),
                              QString("Файл «%1» уже существует. Заменить его?").arg(path),
                              QMessageBox::Yes | QMessageBox::No, owner);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->setTextFormat(Qt::PlainText);
  box->setDefaultButton(QMessageBox::No);
  QObject::connect(box, &QMessageBox::finished, owner, [box, path, chosen, cancelled] {
    if (box->clickedButton() == box->button(QMessageBox::Yes)) {
      chosen(path);
    } else if (cancelled) {
      cancelled();
    }
  });
  box->show();
}

}  // namespace

void AskForFile(QWidget* owner, const FileQuestion& question, std::function<void(const QString&)> chosen,
                std::function<void()> cancelled) {
  if (auto* open = owner->findChild<QFileDialog*>(QString(), Qt::FindDirectChildrenOnly)) {
    open->raise();
    open->activateWindow();
    return;
  }
  auto* dialog = new QFileDialog(owner, question.title, question.folder, question.filter);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowModality(Qt::NonModal);
  // Qt's own dialog, so that the suffix is part of the name chosen; the
  // question about replacing a file is ours, since the dialog's own would be
  // modal.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setOption(QFileDialog::DontConfirmOverwrite);
  dialog->setAcceptMode(question.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(question.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!question.defaultSuffix.isEmpty()) dialog->setDefaultSuffix(question.defaultSuffix);
  const bool save = question.save;
  QObject::connect(dialog, &QFileDialog::finished, owner, [owner, dialog, save, chosen, cancelled](int result) {
    const QStringList files = dialog->selectedFiles();
    if (result != QDialog::Accepted || files.isEmpty()) {
      if (cancelled) cancelled();
    } else if (save && QFileInfo::exists(files.constFirst())) {
      AskToReplace(owner, files.constFirst(), chosen, cancelled);
    } else {
      chosen(files.constFirst());
    }
  });
  dialog->show();
}

void ShowMessage(QWidget* owner, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::NoIcon, QCoreApplication::applicationName(), text, QMessageBox::Ok, owner);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->setTextFormat(Qt::PlainText);
  box->show();
}

void AskToConfirm(QWidget* owner, const QString& text, const QString& yesText, std::function<void()> yes) {
  auto* box = new QMessageBox(QMessageBox::Question, QCoreApplication::applicationName(), text, QMessageBox::NoButton,
                              owner);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->setTextFormat(Qt::PlainText);
  QPushButton* go = box->addButton(yesText, QMessageBox::AcceptRole);
  box->setDefaultButton(box->addButton("Отмена", QMessageBox::RejectRole));
  QObject::connect(box, &QMessageBox::finished, owner, [box, go, yes] {
    if (box->clickedButton() == go) yes();
  });
  box->show();
}

}  // namespace velkor
