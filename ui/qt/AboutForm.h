// The About window and the menu's image list, in Qt.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>

#include <vector>

// ImageList1: 25 images of 16 by 16 on silver, built into the program;
// those the program does not use are plain silver.
class TImageList {
public:
    static constexpr int kCount = 25;
    static constexpr int kSize = 16;
    static constexpr int kWindowImage = 12;
    void Load();
    // The main window's icon: the picture above at 16 x 16, the
    // launcher's icon at the larger sizes.
    static QIcon WindowIcon();
    QIcon Icon(int index) const;
    QImage Image(int index) const;

private:
    std::vector<QImage> images_;
};
TImageList& ImageList1();

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget* parent = nullptr);
    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Copyright = nullptr;
    QPushButton* BitBtn1 = nullptr;
    void BitBtn1Click();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
};
extern TAboutForm* AboutForm;
