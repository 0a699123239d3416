// The life of the process in the order main takes it: the constructor
// prepares the debug stream, the application, its style, the action table
// and preferences and the main window; Run restores the session and runs the
// event loop; the destructor saves the preferences and tears everything down.
#pragma once

#include <memory>

class QApplication;
class MainWindow;

class KxvStartup {
public:
    static constexpr const char* APP_NAME = "KxViewer";
    static constexpr const char* ORGANISATION = "Zelmora";
    static constexpr const char* VERSION = "2.1.3993 beta";

    KxvStartup(int& argc, char** argv);
    ~KxvStartup();
    KxvStartup(const KxvStartup&) = delete;
    KxvStartup& operator=(const KxvStartup&) = delete;

    // The event loop's result is not the program's: main returns 0.
    void Run();

    QApplication& App() const { return *app_; }
    MainWindow* Window() const { return window_; }

private:
    std::unique_ptr<QApplication> app_;
    MainWindow* window_ = nullptr;
};
