// profile_error.cpp: the words for each profile error, in English and Russian.
#include "profile_error.h"

#include <cerrno>
#include <cstring>

#include "parameter_table.h"

namespace velkor {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// "0-20000", as the panel's prompts write a range.
std::string Range(const std::string& field) {
  const auto id = ParameterByName(field);
  if (!id || *id == ParameterId::Smoothing) return "";
  return "0-" + std::to_string(Info(*id).max);
}

std::string Divisions() {
  std::string list;
  for (uint16_t d : STEP_DIVISIONS) list += (list.empty() ? "" : ", ") + std::to_string(d);
  return list;
}

std::string SystemReason(int error, Language language) {
  if (language == Language::English) return std::strerror(error);
  switch (error) {
    case ENOENT: return "файл не найден";
    case EACCES:
    case EPERM: return "нет прав доступа";
    case EISDIR: return "это папка, а не файл";
    case ENOSPC: return "нет места на диске";
    case EROFS: return "диск только для чтения";
    default: return std::string("ошибка системы: ") + std::strerror(error);
  }
}

std::string EnglishProblem(const ProfileError& e) {
  switch (e.kind) {
    case ProfileErrorKind::CannotRead: return "cannot read it: " + SystemReason(e.systemError, Language::English);
    case ProfileErrorKind::TooLarge: return "too large for a profile (over 1 MiB)";
    case ProfileErrorKind::BrokenJson:
      return "broken JSON at line " + std::to_string(e.line) + ", column " + std::to_string(e.column) + ": " + e.detail;
    case ProfileErrorKind::NotAProfile:
      return e.detail.empty() ? "not a Velkor profile (no \"format\": \"velkor-profile\")"
                              : "not a Velkor profile (its format is " + Quoted(e.detail) + ")";
    case ProfileErrorKind::NewerVersion:
      return "profile version " + e.detail + " is newer than this program reads (1)";
    case ProfileErrorKind::OtherDevice: return "made for the device " + Quoted(e.detail) + ", not the VK-3";
    case ProfileErrorKind::MissingField: return "the field " + Quoted(e.field) + " is missing";
    case ProfileErrorKind::BadField:
      if (e.field == "parameters") return "\"parameters\" must be an object";
      if (e.field == "version") return "\"version\" must be a whole number";
      return Quoted(e.field) + " must be a string";
    case ProfileErrorKind::UnknownParameter: return "unknown parameter " + Quoted(e.field);
    case ProfileErrorKind::NotWholeNumber:
      return Quoted(e.field) + " must be a whole number, not " + e.detail;
    case ProfileErrorKind::OutOfRange:
      return Quoted(e.field) + " is " + e.detail + ", outside the range " + Range(e.field);
    case ProfileErrorKind::NotADivision:
      return "\"stepDivision\" is " + e.detail + ", which is none of " + Divisions();
    case ProfileErrorKind::NotTrueFalse: return Quoted(e.field) + " must be true or false, not " + e.detail;
    case ProfileErrorKind::CannotWrite: return "cannot write it: " + SystemReason(e.systemError, Language::English);
    case ProfileErrorKind::DuplicateKey:
      return Quoted(e.field) + " is written twice, again at line " + std::to_string(e.line) + ", column " +
             std::to_string(e.column);
    case ProfileErrorKind::NotARegularFile:
      return "not a regular file (a FIFO, a device or a socket); profiles are ordinary files";
  }
  return "";
}

std::string RussianProblem(const ProfileError& e) {
  switch (e.kind) {
    case ProfileErrorKind::CannotRead:
      return "не удалось прочитать: " + SystemReason(e.systemError, Language::Russian);
    case ProfileErrorKind::TooLarge: return "слишком велик для профиля (больше 1 МБ)";
    case ProfileErrorKind::BrokenJson:
      return "ошибка в записи JSON, строка " + std::to_string(e.line) + ", позиция " + std::to_string(e.column);
    case ProfileErrorKind::NotAProfile:
      return e.detail.empty() ? "это не профиль Velkor (нет \"format\": \"velkor-profile\")"
                              : "это не профиль Velkor (формат " + Quoted(e.detail) + ")";
    case ProfileErrorKind::NewerVersion:
      return "профиль версии " + e.detail + " записан более новой программой; эта читает версию 1";
    case ProfileErrorKind::OtherDevice: return "профиль для устройства " + Quoted(e.detail) + ", а не VK-3";
    case ProfileErrorKind::MissingField: return "нет поля " + Quoted(e.field);
    case ProfileErrorKind::BadField:
      if (e.field == "parameters") return "поле \"parameters\" должно быть объектом";
      if (e.field == "version") return "поле \"version\" должно быть целым числом";
      return "поле " + Quoted(e.field) + " должно быть строкой";
    case ProfileErrorKind::UnknownParameter: return "неизвестный параметр " + Quoted(e.field);
    case ProfileErrorKind::NotWholeNumber:
      return "значение " + Quoted(e.field) + " должно быть целым числом, а не " + e.detail;
    case ProfileErrorKind::OutOfRange:
      return "значение " + Quoted(e.field) + " " + e.detail + " вне диапазона " + Range(e.field);
    case ProfileErrorKind::NotADivision:
      return "деление шага " + e.detail + " не из списка " + Divisions();
    case ProfileErrorKind::NotTrueFalse:
      return "значение " + Quoted(e.field) + " должно быть true или false, а не " + e.detail;
    case ProfileErrorKind::CannotWrite:
      return "не удалось записать: " + SystemReason(e.systemError, Language::Russian);
    case ProfileErrorKind::DuplicateKey:
      return "ключ " + Quoted(e.field) + " записан дважды, второй раз в строке " + std::to_string(e.line) +
             ", позиция " + std::to_string(e.column);
    case ProfileErrorKind::NotARegularFile:
      return "это не обычный файл (канал, устройство или сокет); профиль хранится в обычном файле";
  }
  return "";
}

}  // namespace

std::string ProfileErrorText(const ProfileError& error, Language language) {
  if (language == Language::English) return error.file + ": " + EnglishProblem(error);
  return "Файл " + Quoted(error.file) + ": " + RussianProblem(error) + ".";
}

}  // namespace velkor
