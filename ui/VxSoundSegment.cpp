// The segment kept under the record while the analyzer runs: once per
// synchronisation tick, before the host's settings are adopted, a segment
// that another process cut short or replaced is put back and the
// analyzer's state is written into it again.
#include "VxSoundApp.h"

#include "BlockAnalysis.h"
#include "SegmentWatch.h"
#include "SharedMap.h"

namespace {

std::uint8_t Flag(const TMenuItem& item)
{
    return item.Tag == 1 ? 1 : 0;
}

}  // namespace

void TVxSoundApp::SharedMapTimerTimer()
{
    KeepSegment();
    ::SharedMapTimerTimer(Record(), *this);
}

void TVxSoundApp::KeepSegment()
{
    if (!SegmentWatch || SegmentWatch->Check() == ISegmentWatch::EChange::None)
        return;
    if (SoundMapRecord* rec = Record())
        RepublishRecord(*rec, SegmentWatch->LastGood());
}

void TVxSoundApp::RepublishRecord(SoundMapRecord& rec, const SoundMapRecord& before)
{
    // The equalizer and the gain live only in the record: they come from
    // its last whole state. Every other setting is the window's own.
    for (int i = 0; i < kAnalysisBands; ++i)
        rec.SetEqualizerBand(i, before.EqualizerBand(i));
    rec.SetGain(before.Gain());
    rec.SetShowInput(None1.Tag == 1 ? 0 : Timeline1.Tag == 1 ? 2 : 1);
    rec.SetNoiseLevelSwitch(Low1.Tag == 1 ? 0 : Medium1.Tag == 1 ? 1 : 2);
    rec.SetUseFFT(Flag(UseFFT1));
    rec.SetTriggerFaders(Flag(Triggerfaders1));
    rec.SetSoundCard(Flag(SoundCard1));
    rec.SetAutoSaveChanges(Flag(AutoSaveChanges1));
    rec.SetRunMinimized(Flag(Runminimized1));
    rec.SetStayOnTop(Flag(StayOnTop1));
    rec.SetTrigDecay(TrackBar1.Position());
    rec.SetTrigAggr(TrackBar2.Position());
    rec.SetNoiseLevelValue(TrackBar3.Position());

    // The start-up fields, AnalyzerActive last: a host that waits for it
    // finds the settings in place.
    for (int i = 0; i < kAnalysisBands; ++i)
        rec.SetBandLevel(i, 0.0f);
    rec.SetTrig(0);
    rec.SetMapVersion(1);
    rec.SetGainText(GainReadout(GlobalGain.load(std::memory_order_relaxed), DecimalSeparator()).substr(0, 10));
    rec.SetAnalyzerActive(1);
}
