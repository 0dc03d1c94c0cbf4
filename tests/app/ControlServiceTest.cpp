#include "app/ControlService.h"

#include "settings/Limits.h"
#include "settings/PresetFile.h"
#include "support/PrivateBus.h"
#include "support/TextFiles.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <limits>

namespace lumora {
namespace {

const QString kProperties = "org.freedesktop.DBus.Properties";
const QString kInterface = ControlService::interfaceName;

// Collects PropertiesChanged as a client sees it.
class ChangeListener : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;
public slots:
    void changed(const QString& interface, const QVariantMap& values, const QStringList&) {
        if (interface == kInterface) {
            changes.append(values);
        }
    }
};

class ControlServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString why;
        if (m_bus.start(&why).isEmpty()) {
            GTEST_SKIP() << why.toStdString();
        }
        m_serviceBus.emplace(m_bus.connect("service"));
        m_client.emplace(m_bus.connect("client"));
        ASSERT_TRUE(m_service.publish(*m_serviceBus, &m_why)) << m_why.toStdString();
    }

    static QDBusMessage message(const QString& interface, const QString& member,
                                const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            ControlService::serviceName, ControlService::objectPath, interface, member);
        m.setArguments(args);
        return m;
    }
    static QDBusMessage setMessage(const QString& property, const QVariant& value) {
        return message(kProperties, "Set",
                       {kInterface, property, QVariant::fromValue(QDBusVariant(value))});
    }
    QDBusMessage method(const QString& name, const QVariantList& args = {}) {
        return callAndWait(*m_client, message(kInterface, name, args));
    }
    QDBusMessage set(const QString& property, const QVariant& value) {
        return callAndWait(*m_client, setMessage(property, value));
    }
    QVariantMap getAll() {
        return qdbus_cast<QVariantMap>(
            callAndWait(*m_client, message(kProperties, "GetAll", {kInterface}))
                .arguments()
                .value(0));
    }

    void listen() {
        ASSERT_TRUE(m_client->connect(ControlService::serviceName, ControlService::objectPath,
                                      kProperties, "PropertiesChanged", &m_listener,
                                      SLOT(changed(QString, QVariantMap, QStringList))));
    }

    static void expectError(const QDBusMessage& reply, const char* name, const QString& text) {
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);
        EXPECT_EQ(reply.errorName(), QLatin1String(name)) << reply.errorMessage().toStdString();
        EXPECT_TRUE(reply.errorMessage().contains(text)) << reply.errorMessage().toStdString();
    }

    PrivateBus m_bus;
    std::optional<QDBusConnection> m_serviceBus;
    std::optional<QDBusConnection> m_client;
    QTemporaryDir m_dir;
    Settings m_settings{m_dir.filePath("lumora.conf")};
    ControlService m_service{m_settings};
    ChangeListener m_listener;
    QString m_why;
};

TEST_F(ControlServiceTest, BadValuesAreRefusedNamingPropertyAndValueAndChangeNothing) {
    m_settings.setSpeed(2.0); // a file to compare with
    m_settings.sync();
    const QByteArray fileBefore = readText(m_settings.filePath());
    ASSERT_FALSE(fileBefore.isEmpty());
    const QVariantMap before = getAll();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const QList<std::tuple<QString, QVariant, QString>> cases = {
        {"Effect", "hologram", "Effect: unknown effect \"hologram\""},
        {"Effect", "Scanner", "\"Scanner\""},
        {"Color", "FF7A0", "Color: \"FF7A0\" is not six hex digits"},
        {"Color", "#FF7A0", "\"#FF7A0\""},
        {"Color", "+12345", "\"+12345\""},
        {"Color", "GGGGGG", "\"GGGGGG\""},
        {"Speed", nan, "Speed: nan is not a finite number"},
        {"Angle", inf, "Angle: inf"},
        {"Brightness", -inf, "Brightness: -inf"},
    };
    for (const auto& [property, value, text] : cases) {
        expectError(set(property, value), ControlService::invalidValueError, text);
    }
    // A wrong D-Bus type never reaches the store either.
    EXPECT_EQ(set("Speed", "fast").type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(set("Nonsense", 1).type(), QDBusMessage::ErrorMessage);

    EXPECT_EQ(getAll(), before);
    m_settings.sync();
    EXPECT_EQ(readText(m_settings.filePath()), fileBefore);
}

TEST_F(ControlServiceTest, EveryChangeOfTheStoreIsAnnouncedOnce) {
    listen();
    QList<QVariantMap>& changes = m_listener.changes;
    const auto waitFor = [&](qsizetype count) {
        (void)QTest::qWaitFor([&] { return changes.size() >= count; }, 3000);
        QTest::qWait(50); // room for a wrong extra one
        return changes.size();
    };

    m_settings.setSpeed(2.0); // as the window or the tray would
    ASSERT_EQ(waitFor(1), 1);
    EXPECT_EQ(changes[0], (QVariantMap{{"Speed", 2.0}}));

    m_settings.setSpeed(2.0); // the same value: nothing changed, nothing said
    m_settings.setEnabled(false);
    ASSERT_EQ(waitFor(2), 2);
    EXPECT_EQ(changes[1], (QVariantMap{{"Enabled", false}}));

    // A preset changes several values at once: one signal carrying them all.
    m_settings.setEffect(Effect::inferno);
    m_settings.setColor(*RGB::fromHex("FF1744"));
    m_settings.savePreset("Fire");
    m_settings.setEffect(Effect::solid);
    m_settings.setColor(*RGB::fromHex("2979FF"));
    ASSERT_EQ(waitFor(3), 3);
    changes.clear();
    m_settings.apply(m_settings.presets()[0]);
    ASSERT_EQ(waitFor(1), 1);
    EXPECT_EQ(changes[0], (QVariantMap{{"Effect", "inferno"}, {"Color", "FF1744"}}));

    // A change made by a client is announced too, to every client.
    changes.clear();
    set("Angle", 30.0);
    ASSERT_EQ(waitFor(1), 1);
    EXPECT_EQ(changes[0], (QVariantMap{{"Angle", 30.0}}));
}

TEST_F(ControlServiceTest, PresetMethodsRefuseWhatTheyCannotDo) {
    m_settings.savePreset("Calm");
    const QList<Preset> before = m_settings.presets();
    const double speed = m_settings.speed();
    for (const char* name : {"ApplyPreset", "DeletePreset"}) {
        expectError(method(name, {"Quiet"}), ControlService::notFoundError, "\"Quiet\"");
    }
    expectError(method("ExportPresets", {QStringList{"Calm", "Quiet"}}),
                ControlService::notFoundError, "\"Quiet\"");
    expectError(method("ExportPresets", {QStringList(limits::maxPresets + 1, "Calm")}),
                ControlService::invalidValueError, "at most 1000");
    expectError(method("SavePreset", {"   "}), ControlService::invalidValueError, "name");
    expectError(method("SavePreset", {QString(201, u'x')}), ControlService::invalidValueError,
                "longer than 200 characters");
    // An error quotes a long value shortened, never the whole of it.
    EXPECT_LT(method("ApplyPreset", {QString(10000, u'y')}).errorMessage().size(), 200);
    expectError(method("ImportPresets", {"{}"}), ControlService::invalidValueError,
                "nothing imported: not a preset file");
    expectError(method("ImportPresets", {QString(limits::maxJsonBytes + 1, u' ')}),
                ControlService::invalidValueError, "larger than 1 MiB");
    // A method of ours with the wrong arguments is refused, not guessed at.
    EXPECT_EQ(method("ApplyPreset", {42}).errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(method("Dance").type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(m_settings.presets(), before);
    EXPECT_EQ(m_settings.speed(), speed);

    // A full store takes no new preset, from a save or an import.
    QList<Preset> many(limits::maxPresets - 1); // each with an id of its own
    for (int i = 0; i < many.size(); ++i) {
        many[i].name = QString::number(i);
    }
    m_settings.importPresets(many);
    expectError(method("SavePreset", {"More"}), ControlService::limitReachedError, "1000");
    expectError(method("ImportPresets", {QString::fromUtf8(presetFile::encode(before))}),
                ControlService::limitReachedError, "1000");
    EXPECT_EQ(m_settings.presets().size(), limits::maxPresets);
}

TEST_F(ControlServiceTest, ShowSettingsAsksTheApplication) {
    QSignalSpy spy(&m_service, &ControlService::showSettingsRequested);
    EXPECT_EQ(method("ShowSettings").type(), QDBusMessage::ReplyMessage);
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(ControlServiceTest, TheNameIsHeldByOneInstanceOnly) {
    Settings other(m_dir.filePath("other.conf"));
    ControlService second(other);
    QDBusConnection secondBus = m_bus.connect("second");
    QString why;
    EXPECT_FALSE(second.publish(secondBus, &why));
    EXPECT_TRUE(why.contains("io.lumora.Lumora")) << why.toStdString();
}

// Two scripts writing at once: the store, the bus and the file agree afterwards.
TEST_F(ControlServiceTest, TwoClientsAtOnceEndConsistent) {
    QDBusConnection first = m_bus.connect("first");
    QDBusConnection second = m_bus.connect("second");
    QList<QDBusPendingCall> calls;
    const auto send = [&](QDBusConnection& bus, const QString& property, const QVariant& value) {
        calls.append(bus.asyncCall(setMessage(property, value)));
    };
    for (int i = 0; i < 100; ++i) {
        send(first, "Speed", 0.25 + i * 0.01);
        send(second, "Speed", 2.0 + i * 0.01);
        send(first, "Color", i % 2 ? "FF0000" : "00FF00");
        send(second, "Angle", double(i));
        calls.append((i % 2 ? first : second)
                         .asyncCall(message(kInterface, "SavePreset",
                                            {QStringLiteral("Look %1").arg(i % 7)})));
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return std::all_of(calls.begin(), calls.end(),
                               [](const QDBusPendingCall& c) { return c.isFinished(); });
        },
        10000));
    for (const QDBusPendingCall& call : calls) {
        EXPECT_FALSE(call.isError()) << call.error().message().toStdString();
    }

    const QVariantMap seen = getAll();
    EXPECT_EQ(seen.value("Speed").toDouble(), m_settings.speed());
    EXPECT_TRUE(m_settings.speed() == 0.25 + 99 * 0.01 || m_settings.speed() == 2.0 + 99 * 0.01);
    EXPECT_EQ(seen.value("Angle").toDouble(), 99.0);
    EXPECT_EQ(seen.value("Color").toString(), "FF0000");
    EXPECT_EQ(m_settings.presets().size(), 7);

    m_settings.sync();
    Settings reread(m_settings.filePath());
    EXPECT_EQ(reread.speed(), m_settings.speed());
    EXPECT_EQ(reread.angle(), 99.0);
    EXPECT_EQ(reread.color(), m_settings.color());
    EXPECT_EQ(reread.presets(), m_settings.presets());
}

} // namespace
} // namespace lumora

#include "ControlServiceTest.moc"
