// telvane-sim: the instrument simulator on a pseudo-terminal, for trying the
// application without hardware. Prints the port to open and runs until
// interrupted.
#include "instrumentsimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <pthread.h>

int main(int argc, char *argv[])
{
    // Block the stop signals before any thread starts, so every thread
    // inherits the mask and sigwait below receives them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("telvane-sim");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Simulates the sampling instrument on a pseudo-terminal and prints its port name.");
    parser.addHelpOption();
    const QCommandLineOption link({"l", "link"}, "Also make PATH a symbolic link to the port.",
                                  "PATH");
    const QCommandLineOption battery({"b", "battery"}, "Battery charge in percent (default 80).",
                                     "N", "80");
    const QCommandLineOption module({"m", "module"}, "Report an attenuation module.");
    const QCommandLineOption junk({"j", "junk"}, "Send junk bytes between frames.");
    const QCommandLineOption splits({"s", "splits"}, "Split writes at random offsets.");
    const QCommandLineOption burst("burst", "Send frames in bursts.");
    const QCommandLineOption speed("speed", "Run time passes F times faster (default 1).", "F",
                                   "1");
    const QCommandLineOption pattern("pattern", "Pattern of the waveforms (default 1).", "N", "1");
    const QCommandLineOption ramp("ramp",
                                  "Send a straight ramp changing by V volts per second on every "
                                  "channel instead of the sines.",
                                  "V");
    const QCommandLineOption version("version", "Displays version information.");
    parser.addOptions({link, battery, module, junk, splits, burst, speed, pattern, ramp, version});
    parser.process(app);
    if (parser.isSet(version)) {
        std::printf("Telvane V%s\n", TELVANE_VERSION);
        return 0;
    }

    bool ok = true;
    const uint pattern_value = parser.value(pattern).toUInt(&ok);
    if (!ok) {
        std::fprintf(stderr, "telvane-sim: --pattern needs a non-negative integer\n");
        return 2;
    }
    const int battery_value = parser.value(battery).toInt(&ok);
    if (!ok || battery_value < 0 || battery_value > 255) {
        std::fprintf(stderr, "telvane-sim: --battery needs an integer from 0 to 255\n");
        return 2;
    }
    const double speed_value = parser.value(speed).toDouble(&ok);
    if (!ok || speed_value <= 0.0) {
        std::fprintf(stderr, "telvane-sim: --speed needs a positive number\n");
        return 2;
    }

    double ramp_value = 0.0;
    if (parser.isSet(ramp)) {
        ramp_value = parser.value(ramp).toDouble(&ok);
        if (!ok) {
            std::fprintf(stderr, "telvane-sim: --ramp needs a number of volts per second\n");
            return 2;
        }
    }

    InstrumentSimulator simulator(pattern_value);
    if (!simulator.is_open()) {
        std::fprintf(stderr, "telvane-sim: could not open a pseudo-terminal\n");
        return 1;
    }
    if (parser.isSet(link) && !simulator.create_symlink(parser.value(link))) {
        std::fprintf(stderr, "telvane-sim: could not create the link %s\n",
                     qPrintable(parser.value(link)));
        return 1;
    }
    simulator.set_battery(battery_value);
    simulator.set_module_present(parser.isSet(module));
    simulator.set_junk(parser.isSet(junk));
    simulator.set_random_splits(parser.isSet(splits));
    simulator.set_burst(parser.isSet(burst));
    simulator.set_speed_factor(speed_value);
    if (parser.isSet(ramp)) {
        simulator.set_ramp(ramp_value);
    }
    if (!simulator.start()) {
        std::fprintf(stderr, "telvane-sim: could not start\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(simulator.port_name()));
    std::fflush(stdout);

    int received = 0;
    sigwait(&stop_signals, &received);
    return 0;
}
