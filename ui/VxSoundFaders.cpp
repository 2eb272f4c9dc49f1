// Trigger faders, gain scroll bar and their read-outs.
#include "VxSoundApp.h"

#include <QLocale>

#include <cfenv>
#include <cmath>
#include <cstdlib>

#include "BlockAnalysis.h"
#include "SoundMapRecord.h"

int DecayMs(int position)
{
    // One block is 23.22 ms; halves go to the even neighbour.
    return static_cast<int>(std::nearbyint((static_cast<long double>(position) + 1.0L) * 23.22L));
}

std::string NoiseReadout(int position)
{
    // Tenths of a dB, then split by integer division so that the text
    // never depends on the locale.
    const double db = 200.0 * std::log10(static_cast<double>(position) / 512.0);
    const long t = std::isfinite(db) ? std::lround(std::nearbyint(db)) : 0;
    return std::to_string(t / 10) + "." + std::to_string(std::labs(t % 10));
}

QString GainReadout(float gain, QChar decimalPoint)
{
    QString s = QString::number(20.0 * std::log10(static_cast<double>(gain)), 'f', 1);
    s.replace('.', decimalPoint);
    return s;
}

QString GainReadout(float gain)
{
    const QString point = QLocale().decimalPoint();
    return GainReadout(gain, point.isEmpty() ? QChar('.') : point.front());
}

void TVxSoundApp::TrackBar1Change()
{
    const int position = TrackBar1->value();
    if (SoundMapRecord* rec = Record())
        rec->SetTrigDecay(position);
    const QString hint =
        QStringLiteral("Decay|Minimum time between trigs: %1 ms").arg(DecayMs(position));
    SetHint(TrackBar1, hint);
    ApplicationHint(hint);
}

void TVxSoundApp::TrackBar2Change()
{
    if (SoundMapRecord* rec = Record())
        rec->SetTrigAggr(TrackBar2->value());
}

void TVxSoundApp::TrackBar3Change()
{
    const int position = TrackBar3->value();
    if (SoundMapRecord* rec = Record())
        rec->SetNoiseLevelValue(position);
    const QString hint = QStringLiteral("Noise cut-off level|Minimum sound trig level: ") +
                         QString::fromStdString(NoiseReadout(position)) + QStringLiteral(" dB");
    SetHint(TrackBar3, hint);
    ApplicationHint(hint);
}

void TVxSoundApp::ScrollBar1Change()
{
    const int position = ScrollBar1->value();
    const float gain = GainOfPosition(position);
    GlobalGain.store(gain, std::memory_order_relaxed);
    const QString s = GainReadout(gain);
    if (SoundMapRecord* rec = Record()) {
        rec->SetGain(static_cast<std::int8_t>(-position));
        rec->SetGainText(s.left(10).toLatin1().toStdString());
    }
    const QString text = QStringLiteral("Gain: ") + s + QStringLiteral("dB");
    SetHint(ScrollBar1, text + '|' + text);
    ApplicationHint(text);
}
