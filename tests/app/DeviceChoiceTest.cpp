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

// The lines of a pactl listing that start with one of `fields`, trimmed.
std::vector<QString> Listing(const char* what, const QStringList& fields)
{
    std::vector<QString> lines;
    for (const QString& raw : Pactl({"list", what}).split('\n')) {
        const QString line = raw.trimmed();
        for (const QString& f : fields)
            if (line.startsWith(f))
                lines.push_back(line);
    }
    return lines;
}

class DeviceChoice : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        if (qgetenv("VX_TEST_SINK").isEmpty() || Pactl({"info"}).isEmpty())
            GTEST_SKIP() << "no private sound server";
        for (const char* name : {"A", "B"}) {
            const QString sink = QStringLiteral("vxextra%1_%2").arg(name).arg(VxTestOs::ProcessId());
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
    // The server's sources in its order: number, name, description.
    const std::vector<QString> lines = Listing("sources", {"Source #", "Name: ", "Description: "});
    ASSERT_TRUE(lines.size() >= 9 && lines.size() % 3 == 0) << lines.size();
    const QString defaultName = "Name: " + Pactl({"get-default-source"});
    TVxSoundApp& a = Create();
    ASSERT_TRUE(a.StartupComplete) << ::testing::PrintToString(Errors());
    ASSERT_EQ(a.ComboBox1Items.size(), lines.size() / 3 + 1);
    EXPECT_EQ(edge->Devices, a.ComboBox1Items);
    for (std::size_t i = 0; i < lines.size(); i += 3) {
        const std::string description = CutDeviceName(lines[i + 2].mid(13).toStdString());
        EXPECT_EQ(a.ComboBox1Items[i / 3 + 1], description);
        if (lines[i + 1] == defaultName) {
            EXPECT_EQ(a.ComboBox1Items[0], description);
        }
    }

    // Entry k opens device k - 1: the server's source number k - 1. The
    // source this process records from is the one above its process id.
    for (int entry : {2, 3}) {
        SCOPED_TRACE(entry);
        a.ComboBox1Select(entry);
        EXPECT_EQ(DeviceId, entry - 1);
        const QString expected = "Source: " + lines[static_cast<std::size_t>(entry - 1) * 3].mid(8);
        const QString pid = QStringLiteral("application.process.id = \"%1\"").arg(VxTestOs::ProcessId());
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                const std::vector<QString> out = Listing("source-outputs", {"Source: ", pid});
                const auto own = std::find(out.begin(), out.end(), pid);
                return own != out.begin() && own != out.end() && own[-1] == expected;
            },
            10000));
    }
    EXPECT_TRUE(UserClose(true));
    EXPECT_NE(Ini().find("SoundCardNo=3\n"), std::string::npos) << Ini();
}

}  // namespace
