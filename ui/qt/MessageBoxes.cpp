// Message boxes, the About window, the help file and the message pump in
// Qt.
#include "MainWindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QUrl>

TBoxAnswer TVxSoundWindow::RunBox(TBoxKind kind, const std::string& text)
{
    const QString title = QString::fromLatin1(kApplicationTitle);
    const QString body = QString::fromStdString(text);
    QMessageBox box(kind == TBoxKind::Error         ? QMessageBox::Critical
                    : kind == TBoxKind::Information ? QMessageBox::Information
                                                    : QMessageBox::Question,
                    title, body, kind == TBoxKind::Question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    this);
    if (kind == TBoxKind::Question)
        box.setDefaultButton(QMessageBox::No);
    openBox_ = &box;
    const int result = box.exec();
    openBox_ = nullptr;
    if (kind != TBoxKind::Question)
        return TBoxAnswer::Ok;
    return result == QMessageBox::Yes ? TBoxAnswer::Yes : TBoxAnswer::No;
}

void TVxSoundWindow::DismissBox()
{
    if (openBox_ != nullptr)
        openBox_->done(QMessageBox::No);
}

void TVxSoundWindow::ProcessMessages()
{
    QCoreApplication::processEvents();
}

void TVxSoundWindow::PostToWindow(std::function<void()> fn)
{
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void TVxSoundWindow::ShowAbout()
{
    if (AboutForm != nullptr) {
        AboutForm->show();
        AboutForm->raise();
    }
}

void TVxSoundWindow::OpenHelp(const std::string& path, int context)
{
    const QString file = QString::fromStdString(path);
    QUrl url = QUrl::fromLocalFile(file);
    // A page opens at the topic; other files open as they are.
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == "htm" || suffix == "html")
        url.setFragment(QString::number(context));
    QDesktopServices::openUrl(url);
}
