#pragma once

#include <QByteArray>

// What the instrument says in answer to the status query: battery charge and
// whether the attenuation module (excitation up to ±80 V) is fitted.
class StatusReply
{
public:
    enum class Module {
        Unknown, // no reply, or a module code other than "11"/"22": keep what was known
        Present,
        Absent,
    };

    // Reads the reply text of a status query (upper-case hexadecimal). A reply
    // without a status frame gives an invalid result. Fields cut short by the
    // end of the text read as far as they go: no battery digits give 0 %.
    static StatusReply parse(const QByteArray &replyText);

    bool is_valid() const { return valid_; }
    int battery_percent() const { return battery_; }
    Module module() const { return module_; }

private:
    bool valid_ = false;
    int battery_ = 0;
    Module module_ = Module::Unknown;
};
