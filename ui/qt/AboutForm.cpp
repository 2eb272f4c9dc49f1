// The image list of the menu and the About window.
#include "AboutForm.h"

#include <QFile>
#include <QFont>
#include <QPainter>

TAboutForm* AboutForm = nullptr;

TImageList& ImageList1()
{
    static TImageList list;
    return list;
}

// The images are compiled into this static library; its resource
// initialiser is not linked in unless called.
static void InitImageResources()
{
    Q_INIT_RESOURCE(images);
}

void TImageList::Load()
{
    InitImageResources();
    images_.clear();
    for (int i = 0; i < kCount; ++i) {
        QImage image(QStringLiteral(":/vx/menu/image%1.png").arg(i, 2, 10, QChar('0')));
        if (image.isNull() || image.width() != kSize || image.height() != kSize) {
            // Images the program does not use stay plain silver.
            image = QImage(kSize, kSize, QImage::Format_RGB32);
            image.fill(QColor(192, 192, 192));
        }
        images_.push_back(image.convertToFormat(QImage::Format_RGB32));
    }
}

QImage TImageList::Image(int index) const
{
    if (index < 0 || index >= static_cast<int>(images_.size()))
        return {};
    return images_[static_cast<std::size_t>(index)];
}

QIcon TImageList::WindowIcon()
{
    InitImageResources();
    // The launcher's sizes, so the taskbar need not scale up the menu's
    // picture; at 16 x 16 the drawn picture is sharper than the scaled set.
    QIcon icon(QStringLiteral(":/vx/menu/image%1.png").arg(kWindowImage, 2, 10, QChar('0')));
    for (const int size : {32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/vx/icon/%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon TImageList::Icon(int index) const
{
    const QImage image = Image(index);
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent)
{
    setObjectName("AboutForm");
    setWindowTitle("About Corvane Audio Analyzer");
    // A tool window's border with a title and no border icons: the close
    // button alone tells the window manager, through both the decoration
    // and the function hints, that it may neither minimize nor maximize.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowStaysOnTopHint);
    setFixedSize(264, 211);
    QFont font("MS Sans Serif");
    font.setPointSize(8);
    setFont(font);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setGeometry(8, 8, 249, 169);
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Sunken);
    Panel1->setLineWidth(2);
    Panel1->setAutoFillBackground(true);
    QPalette pal = Panel1->palette();
    pal.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(pal);

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setObjectName("ProgramIcon");
    ProgramIcon->setGeometry(48, 8, 153, 57);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(QPixmap(":/vx/logo.png"));

    ProductName = new QLabel("Audio Analyzer", Panel1);
    ProductName->setObjectName("ProductName");
    QFont big("MS Sans Serif");
    big.setPixelSize(19);
    big.setBold(true);
    big.setItalic(true);
    ProductName->setFont(big);
    ProductName->move(48, 64);
    ProductName->adjustSize();

    Version = new QLabel("v. 1.2", Panel1);
    Version->setObjectName("Version");
    Version->move(112, 96);
    Version->adjustSize();

    Copyright = new QLabel(QString::fromUtf8("\u00A9 Corvane. All rights reserved."), Panel1);
    Copyright->setObjectName("Copyright");
    Copyright->move(33, 144);
    Copyright->adjustSize();

    BitBtn1 = new QPushButton(QIcon(":/vx/close.png"), "&Close", this);
    BitBtn1->setObjectName("BitBtn1");
    BitBtn1->setGeometry(104, 184, 75, 25);
    // Enter presses the default button and Esc rejects the dialog: both
    // close it.
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

void TAboutForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Takes the focus, so Enter and Esc reach it without a click.
    activateWindow();
}

void TAboutForm::BitBtn1Click()
{
    done(QDialog::Accepted);
    hide();
}

void TAboutForm::reject()
{
    BitBtn1Click();
}
