#pragma once

class Form1;

// What main() does between creating the application object and running its
// event loop, in functions of their own so that a test program that must start
// exactly as the program does (tests/app/startup_probe.cpp) runs the
// same code.
namespace Startup {

// Names the application and its version for Qt.
void describeApplication();
// Loads the catalogue into the window, then shows it for the first time.
void showMainWindow(Form1 &form);

} // namespace Startup
