// The hook the shared test main calls before the tests: a QApplication that lives for the whole
// process, on the offscreen platform unless the caller chose another, with telemetry off.
#include <QApplication>

#include <cstdlib>

extern "C" void gridlark_test_setup(int* argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // GUI tests keep the program's telemetry on its no-op services unless they start it themselves.
    setenv("GRIDLARK_TELEMETRY", "off", 0);
    static auto* application = new QApplication(*argc, argv);
    (void)application;
}
