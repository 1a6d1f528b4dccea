#pragma once

#include <QByteArray>
#include <QList>

// Byte-level helpers for the simulator tests, written from the wire format
// alone so they check the simulator independently of the application's code.

// A 26-byte command packet: 0xFF, code, parameters, zero padding, 0x0D 0x0A.
QByteArray command_packet(quint8 code, const QByteArray &parameters = {});
QByteArray start_single_packet(float vout, int rate, int seconds);
QByteArray start_multi_packet(float v1, float v2, float v3, float v4, int rate, int seconds);

// Every 72-byte frame (0xFF at the start, 0x0D 0x0A at the end) in `stream`,
// searched at byte boundaries; other bytes are skipped. `skipped` counts them.
QList<QByteArray> cut_frames(const QByteArray &stream, qsizetype *skipped = nullptr);

// Little-endian float of slot 0..15 of a frame, in volts.
float slot_volts(const QByteArray &frame, int slot);

// What the simulator must put in a slot of data frame `frame` (counted from 0)
// of a run, from its waveform and the frame layout of the run.
float expected_volts(bool multi, int rate, quint64 frame, int slot, quint32 pattern);
