// The Qt edge's real window under Qt's offscreen platform, on the window
// tests' own segment, settings folder and input.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "MainWindow.h"
#include "WindowFixture.h"

inline void EnsureTestApplication()
{
    if (QApplication::instance() != nullptr)
        return;
    // VX_TEST_X11=1 runs the window tests on the display instead.
    if (qEnvironmentVariableIsEmpty("VX_TEST_X11"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Widget tests stay off the session bus: the bus tests' analyzers must
    // be the only windows a close request can reach. Unsetting the address
    // is not enough, the bus library then tries $XDG_RUNTIME_DIR/bus, which
    // is where the test services put the private bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/vx-window-tests-stay-off-the-bus");
    static int argc = 1;
    static char name[] = "vx_window_test";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives until the process ends
}

class QtWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        EnsureTestApplication();
        WindowTest::SetUp();
        // The window's boxes are real and modal: whileBoxOpen runs once in
        // the next one; any box still open is answered and its text kept.
        boxWatch_ = std::make_unique<QTimer>();
        QObject::connect(boxWatch_.get(), &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            if (auto during = std::exchange(whileBoxOpen, nullptr))
                return during();
            boxes.push_back(box->text().toStdString());
            box->done(boxAnswer);
        });
        boxWatch_->start(20);
    }
    void TearDown() override
    {
        CloseWindow();
        boxWatch_.reset();
        WindowTest::TearDown();
    }
    // Creates the window and runs its start-up, as the program entry does.
    TVxSoundApp& CreateWindow(const std::string& picture = kPicture)
    {
        CloseWindow();
        win = std::make_unique<TVxSoundWindow>();
        win->App.PicturePath = picture;
        win->App.FormCreate();
        return win->App;
    }
    void CloseWindow()
    {
        if (win && !win->App.Closed) {
            win->App.HostCloseRequested = true;
            SetSettingsDir(dir_.string());
            win->close();
        }
        win.reset();
    }
    SoundMapRecord& Rec() const { return *win->App.Record(); }

    std::unique_ptr<TVxSoundWindow> win;
    std::vector<std::string> boxes;
    std::function<void()> whileBoxOpen;
    QMessageBox::StandardButton boxAnswer = QMessageBox::Yes;

private:
    std::unique_ptr<QTimer> boxWatch_;
};
