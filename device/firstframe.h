#pragma once

#include "framesink.h"

#include <QByteArray>

// Keeps the first frame it is handed and ignores the rest (a status reply among stray
// bytes or a run's frames).
class FirstFrame : public FrameSink
{
public:
    void push_serial(const QByteArray &frameText) override
    {
        if (text.isEmpty()) {
            text = frameText;
        }
    }

    QByteArray text;
};
