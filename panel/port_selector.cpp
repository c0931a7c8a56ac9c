// port_selector.cpp: filling the port list and mapping its entries to port names.
#include "port_selector.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>
#include <vector>

#include "serial_devices.h"

namespace velkor {
namespace {

constexpr int COM_PORTS = 9;
constexpr int EMULATOR_ROLE = Qt::UserRole + 1;
constexpr int NETWORK_PROMPT_ROLE = Qt::UserRole + 2;

}  // namespace

CPortSelector::CPortSelector(QWidget* parent, DeviceRoots roots) : QComboBox(parent), roots_(std::move(roots)) {
  setEditable(false);
  FillEntries();
  setCurrentIndex(-1);
}

QString CPortSelector::PortName() const { return currentData().toString(); }

void CPortSelector::SelectPort(const QString& name) {
  setCurrentIndex(name.isEmpty() ? -1 : findData(name));
}

bool CPortSelector::IsEmulator(int index) const { return itemData(index, EMULATOR_ROLE).toBool(); }

bool CPortSelector::IsNetworkPrompt(int index) const { return itemData(index, NETWORK_PROMPT_ROLE).toBool(); }

void CPortSelector::AddNetworkPort(const QString& address) {
  if (!networkPorts_.contains(address)) networkPorts_.append(address);
  FillEntries();
  SelectPort(address);
}

void CPortSelector::SetEmulatorPath(const QString& path) {
  for (int i = 0; i < count(); ++i) {
    if (IsEmulator(i)) setItemData(i, path);
  }
}

void CPortSelector::showPopup() {
  FillEntries();
  QComboBox::showPopup();
}

void CPortSelector::FillEntries() {
  struct Entry {
    QString text;
    QString portName;
    bool emulator = false;
    bool networkPrompt = false;
  };
  std::vector<Entry> entries;
  for (int n = 1; n <= COM_PORTS; ++n) entries.push_back({QStringLiteral("COM%1").arg(n), QStringLiteral("COM%1").arg(n)});
  for (const SerialDevice& device : FindSerialDevices(roots_)) {
    entries.push_back({QString::fromStdString(device.label), QString::fromStdString(device.portName)});
  }
  for (const QString& address : networkPorts_) entries.push_back({address, address});
  int emulatorIndex = -1;
  for (int i = 0; i < count(); ++i) {
    if (IsEmulator(i)) emulatorIndex = i;
  }
  entries.push_back({QString::fromUtf8(EMULATOR_ENTRY),
                     emulatorIndex >= 0 ? itemData(emulatorIndex).toString() : QString(), true});
  // A device that went away stays listed while it is the chosen one.
  // The address prompt is never left chosen: the choice goes back to the port it replaced.
  const int chosen = currentIndex() >= 0 && IsNetworkPrompt(currentIndex()) ? -1 : currentIndex();
  const bool emulatorChosen = chosen >= 0 && IsEmulator(chosen);
  const QString chosenPort = PortName();
  if (chosen >= 0 && !emulatorChosen &&
      std::none_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.portName == chosenPort; })) {
    entries.push_back({currentText(), chosenPort});
  }
  entries.push_back({QString::fromUtf8(NETWORK_ENTRY), QString(), false, true});
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.text < b.text; });

  // Refilling is no choice of the operator's: the selection is put back
  // quietly, by the port it opens, since a replugged adapter's label can change.
  const QSignalBlocker quiet(this);
  clear();
  int selected = -1;
  for (const Entry& e : entries) {
    addItem(e.text, e.portName);
    setItemData(count() - 1, e.emulator, EMULATOR_ROLE);
    setItemData(count() - 1, e.networkPrompt, NETWORK_PROMPT_ROLE);
    if (chosen >= 0 && !e.networkPrompt && (emulatorChosen ? e.emulator : !e.emulator && e.portName == chosenPort)) {
      selected = count() - 1;
    }
  }
  setCurrentIndex(selected);
  FitDropDownToEntries();
}

// The closed list keeps the width the layout gives it; the opened one is as
// wide as its longest entry, so that two adapters' labels can be told apart.
void CPortSelector::FitDropDownToEntries() {
  const int scrollBar = count() > maxVisibleItems() ? view()->verticalScrollBar()->sizeHint().width() : 0;
  view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth() + scrollBar);
}

}  // namespace velkor
