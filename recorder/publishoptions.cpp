#include "publishoptions.h"

#include "commandparser.h"

namespace {
const QString publishOption = QStringLiteral("publish");
const QString waitOption = QStringLiteral("publish-wait");
const QString caOption = QStringLiteral("mqtt-ca");
const QString certOption = QStringLiteral("mqtt-cert");
const QString keyOption = QStringLiteral("mqtt-key");
const QString passwordFileOption = QStringLiteral("mqtt-password-file");
} // namespace

void PublishOptions::add_options(CommandParser &parser)
{
    parser.add_option(
        {publishOption,
         QStringLiteral("Publish each run to an MQTT broker under PREFIX "
                        "(mqtt://[USER@]HOST[:PORT]/PREFIX, mqtts:// for TLS); "
                        "the password comes from %1 or --%2.")
             .arg(QLatin1String(BrokerSettings::passwordVariable), passwordFileOption),
         QStringLiteral("URL")});
    parser.add_option({waitOption,
                       QStringLiteral("At the end, wait up to S seconds for rows the broker has "
                                      "not taken yet (default %1).")
                           .arg(defaultWaitSeconds),
                       QStringLiteral("S")});
    parser.add_option({caOption, QStringLiteral("The certificate authority to trust (mqtts)."),
                       QStringLiteral("FILE")});
    parser.add_option(
        {certOption, QStringLiteral("A client certificate (mqtts)."), QStringLiteral("FILE")});
    parser.add_option({keyOption, QStringLiteral("The client certificate's key (mqtts)."),
                       QStringLiteral("FILE")});
    parser.add_option({passwordFileOption,
                       QStringLiteral("Read the broker's password from the first line of FILE."),
                       QStringLiteral("FILE")});
}

PublishOptions PublishOptions::read(CommandParser &parser)
{
    PublishOptions options;
    if (!parser.is_set(publishOption)) {
        for (const QString &option :
             {waitOption, caOption, certOption, keyOption, passwordFileOption}) {
            if (parser.is_set(option)) {
                parser.fail(QStringLiteral("%1 needs %2")
                                .arg(CommandParser::option_text(option),
                                     CommandParser::option_text(publishOption)));
                return options;
            }
        }
        return options;
    }
    const Result<BrokerAddress> address = BrokerAddress::parse(parser.value(publishOption));
    if (!address.ok()) {
        parser.fail(address.status().message());
        return options;
    }
    if (parser.is_set(waitOption)) {
        options.waitSeconds_ =
            parser.integer(waitOption, 0, waitCeiling, QStringLiteral("0..%1 s").arg(waitCeiling))
                .value_or(defaultWaitSeconds);
    }
    BrokerSettings settings;
    settings.address = *address;
    settings.caFile = parser.value(caOption);
    settings.certFile = parser.value(certOption);
    settings.keyFile = parser.value(keyOption);
    if (const Status files = settings.check_files(); !files.ok()) {
        parser.fail(files.message());
        return options;
    }
    const Result<std::optional<QString>> password =
        BrokerSettings::read_password(parser.value(passwordFileOption));
    if (!password.ok()) {
        parser.fail(password.status().message());
        return options;
    }
    settings.password = *password;
    options.broker_ = settings;
    return options;
}
