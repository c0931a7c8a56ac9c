// port_selector.h: the port list. "COM1".."COM9", every other serial device of
// the machine by a label that names it, "Эмулятор VK-3", the network addresses
// given so far and "Сетевой порт…", which asks for one, sorted by text. The
// devices are looked up again each time the list opens, so an adapter plugged
// in later appears without a restart. Each entry carries the name OpenPort opens.
// Depends on Qt Widgets and the sysfs walk.
#pragma once

#include <QComboBox>
#include <QString>
#include <QStringList>

#include "serial_devices.h"

namespace velkor {

inline constexpr const char* EMULATOR_ENTRY = "Эмулятор VK-3";
inline constexpr const char* NETWORK_ENTRY = "Сетевой порт…";

class CPortSelector : public QComboBox {
  Q_OBJECT

 public:
  explicit CPortSelector(QWidget* parent = nullptr, DeviceRoots roots = {});

  // The name to open for the selected entry; empty when none is selected.
  QString PortName() const;
  // Selects the entry that opens `name`, or none when no entry does.
  void SelectPort(const QString& name);
  bool IsEmulator(int index) const;
  // The entry that asks for a network address; it opens nothing itself.
  bool IsNetworkPrompt(int index) const;
  // Lists the address as an entry of its own, if it is not yet, and selects it.
  void AddNetworkPort(const QString& address);
  // The emulator's terminal, once it runs: what its entry opens.
  void SetEmulatorPath(const QString& path);

  void showPopup() override;

 private:
  void FillEntries();
  void FitDropDownToEntries();

  DeviceRoots roots_;
  QStringList networkPorts_;  // every address given, in the order given
};

}  // namespace velkor
