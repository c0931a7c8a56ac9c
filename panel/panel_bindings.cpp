// panel_bindings.cpp: formatting the fields of PanelValues and reading them back.
#include "panel_bindings.h"

namespace velkor {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};

constexpr int DIVISION_DIGITS = 15;

}  // namespace

QString FieldText(const PanelValues& values, const BoundField& field) {
  return std::visit(
      Overloaded{
          [&](std::string PanelValues::*text) { return QString::fromStdString(values.*text); },
          [&](std::string_view PanelValues::*text) {
            const std::string_view shown = values.*text;
            return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
          },
          [&](int16_t PanelValues::*number) { return QString::number(values.*number); },
          [&](int32_t PanelValues::*number) { return QString::number(values.*number); },
          [&](double PanelValues::*number) { return QString::number(values.*number, 'g', DIVISION_DIGITS); },
      },
      field);
}

bool FieldDiffers(const PanelValues& a, const PanelValues& b, const BoundField& field) {
  return std::visit([&](auto member) { return a.*member != b.*member; }, field);
}

bool IsOperatorChoice(const BoundField& field) { return std::holds_alternative<std::string PanelValues::*>(field); }

void ReadFieldText(PanelValues& values, const BoundField& field, const QString& text) {
  std::visit(Overloaded{
                 [&](std::string PanelValues::*choice) { values.*choice = text.toStdString(); },
                 [](std::string_view PanelValues::*) {},
                 [&](int16_t PanelValues::*number) { values.*number = text.toShort(); },
                 [&](int32_t PanelValues::*number) { values.*number = text.toInt(); },
                 [&](double PanelValues::*number) { values.*number = text.toDouble(); },
             },
             field);
}

}  // namespace velkor
