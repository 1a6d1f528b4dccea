#pragma once

#include <QByteArray>
#include <QList>

class InstrumentSimulator;

// Extra bytes a test slips into the simulator's stream during a run: frames the
// application must drop (unknown types, broken or missing end bytes, a status reply) and
// intact data frames whose sample values contain 0xFF bytes, which it must store. All of
// them carry voltages of 30 V or more, which the simulator's own waveform never reaches.
class FaultPlan
{
public:
    FaultPlan(int foreignSequences, int intactFrames);

    // Slips the next piece in while the run is active; false once everything is in.
    bool step(InstrumentSimulator &simulator);

    int intact_frames_sent() const { return intactSent_; }
    // The voltages (mV, as decoded) of the rows the intact frames must become, in order.
    QList<QList<double>> expected_rows(bool singleChannel) const;

    // Frames the application must not store, back to back, each recognisable by its values.
    static QByteArray foreign_sequence();
    // A data frame whose every slot holds a float with 0xFF among its bytes.
    static QByteArray intact_frame_with_ff_bytes();

private:
    int foreignLeft_ = 0;
    int intactLeft_ = 0;
    int intactSent_ = 0;
};
