// main.cpp: the program's entry. It takes no command line and reads no settings.
#include "drive_app.h"

int main(int argc, char** argv) {
  velkor::CDriveApp app(argc, argv);
  return app.Run();
}
