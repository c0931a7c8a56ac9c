// port_name.cpp: port names to device paths.
#include "port_name.h"

#include <charconv>

namespace velkor {

std::string DevicePath(std::string_view portName) {
  constexpr std::string_view prefix = "COM";
  if (portName.starts_with(prefix)) {
    const std::string_view digits = portName.substr(prefix.size());
    unsigned number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (!digits.empty() && digits.front() != '0' && error == std::errc{} && end == digits.data() + digits.size())
      return "/dev/ttyS" + std::to_string(number - 1);
  }
  return std::string(portName);
}

}  // namespace velkor
