// The device chooser against the private sound server with three or more
// sources: the list, the device a choice opens, the number a close saves.
#include "WindowFixture.h"

#include <QProcess>
#include <QTest>

#include "PulseWaveDriver.h"
#include "WaveInDriver.h"

namespace {

QString Pactl(const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");
    p.setProcessEnvironment(env);
    p.start("pactl", args);
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

struct TSource {
    QString Index, Name, Description;
};

// The server's sources in its order.
std::vector<TSource> Sources()
{
    std::vector<TSource> sources;
    for (const QString& raw : Pactl({"list", "sources"}).split('\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith("Source #"))
            sources.push_back({line.mid(8), {}, {}});
        else if (!sources.empty() && line.startsWith("Name: "))
            sources.back().Name = line.mid(6);
        else if (!sources.empty() && line.startsWith("Description: "))
            sources.back().Description = line.mid(13);
    }
    return sources;
}

// Index of the source this process records from, or empty.
QString OwnStreamSource()
{
    QString source;
    for (const QString& raw : Pactl({"list", "source-outputs"}).split('\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith("Source: "))
            source = line.mid(8);
        if (line == QStringLiteral("application.process.id = \"%1\"").arg(::getpid()))
            return source;
    }
    return {};
}

class DeviceChoice : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (qgetenv("VX_TEST_SINK").isEmpty() || Pactl({"info"}).isEmpty())
            GTEST_SKIP() << "no private sound server";
        for (const char* name : {"A", "B"}) {
            const QString sink = QStringLiteral("vxextra%1_%2").arg(name).arg(::getpid());
            modules_ << Pactl({"load-module", "module-null-sink", "sink_name=" + sink,
                               QStringLiteral("sink_properties=device.description=VxExtra%1").arg(name)});
        }
        pulse_ = std::make_unique<TPulseWaveDriver>();
        SetWaveInDriver(pulse_.get());
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        pulse_.reset();
        for (const QString& module : modules_)
            Pactl({"unload-module", module});
    }

    QStringList modules_;
    std::unique_ptr<TPulseWaveDriver> pulse_;
};

TEST_F(DeviceChoice, ListChoiceAndSavedNumberFollowTheServersSources)
{
    const std::vector<TSource> sources = Sources();
    ASSERT_GE(sources.size(), 3u);
    const QString defaultName = Pactl({"get-default-source"});
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << errors.join("; ").toStdString();

    ASSERT_EQ(a.ComboBox1->count(), static_cast<int>(sources.size()) + 1);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(a.ComboBox1->itemText(static_cast<int>(i) + 1).toStdString(),
                  CutDeviceName(sources[i].Description.toStdString()));
        if (sources[i].Name == defaultName) {
            EXPECT_EQ(a.ComboBox1->itemText(0).toStdString(), CutDeviceName(sources[i].Description.toStdString()));
        }
    }

    // Entry k opens device k - 1: the server's source number k - 1.
    for (int entry : {2, 3}) {
        SCOPED_TRACE(entry);
        a.ComboBox1->setCurrentIndex(entry);
        a.ComboBox1Change();
        EXPECT_EQ(DeviceId, entry - 1);
        const QString expected = sources[static_cast<std::size_t>(entry) - 1].Index;
        EXPECT_TRUE(QTest::qWaitFor([&] { return OwnStreamSource() == expected; }, 10000))
            << "recording from source " << OwnStreamSource().toStdString() << ", not " << expected.toStdString();
    }
    EXPECT_TRUE(UserClose(true));
    EXPECT_NE(Ini().find("SoundCardNo=3\n"), std::string::npos) << Ini();
}

}  // namespace
