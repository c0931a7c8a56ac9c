// port_name_test.cpp: selector names to device files, and errno to the kinds
// of port failure the operator is told about.
#include <gtest/gtest.h>

#include <cerrno>

#include "port_error.h"
#include "port_name.h"

namespace velkor {
namespace {

TEST(DevicePath, ComNamesAreTheOnBoardPortsCountedFromOneAndPathsStayAsTheyAre) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},       {"COM2", "/dev/ttyS1"},
      {"COM10", "/dev/ttyS9"},      {"COM256", "/dev/ttyS255"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"}, {"/dev/pts/3", "/dev/pts/3"},
      {"COM0", "COM0"},             {"COM01", "COM01"},
      {"COM", "COM"},               {"COM1x", "COM1x"},
      {"COM-1", "COM-1"},           {"com1", "com1"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DevicePath(c.name), c.path) << c.name;
}

TEST(PortErrorFromErrno, TellsAMissingDeviceFromAForbiddenOneFromOneInUse) {
  const struct {
    int error;
    PortError kind;
  } cases[] = {
      {0, PortError::None},
      {ENOENT, PortError::NotFound},        {ENODEV, PortError::NotFound},
      {ENXIO, PortError::NotFound},         {EACCES, PortError::PermissionDenied},
      {EPERM, PortError::PermissionDenied}, {EBUSY, PortError::Busy},
      {EAGAIN, PortError::Other},           {EIO, PortError::Other},
      {ENOTTY, PortError::Other},           {EINVAL, PortError::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(PortErrorFromErrno(c.error), c.kind) << c.error;
}

}  // namespace
}  // namespace velkor
