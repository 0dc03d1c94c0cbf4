#include "settings/PresetFile.h"

#include "SettingsTestSupport.h"
#include "settings/Limits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace lumora {
namespace {

Preset look(const QString& name, const QString& effect = QStringLiteral("scanner"),
            double speed = 2.0) {
    Preset p;
    p.name = name;
    p.effect = effect;
    p.speed = speed;
    p.color = QStringLiteral("FF7A00");
    p.angle = 45.0;
    return p;
}

QByteArray fileWith(const QJsonArray& entries, int version = 1) {
    return QJsonDocument(QJsonObject{{"format", "lumora-presets"},
                                     {"version", version},
                                     {"presets", entries}})
        .toJson();
}

QJsonObject entry(const QString& name) {
    return look(name).toJson();
}

TEST(PresetFileTest, ExportThenImportGivesTheSameLooksUnderFreshIds) {
    const QList<Preset> original{look("Calm", "breathing", 0.5), look("Party", "inferno", 3.0)};
    const QByteArray json = presetFile::encode(original);
    const QJsonObject top = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(top.value("format"), "lumora-presets");
    EXPECT_EQ(top.value("version"), 1);

    const presetFile::Contents contents = presetFile::decode(json);
    EXPECT_TRUE(contents.problem.isEmpty());
    EXPECT_EQ(contents.skipped, 0);
    ASSERT_EQ(contents.presets.size(), 2);
    for (qsizetype i = 0; i < 2; ++i) {
        Preset back = contents.presets[i];
        EXPECT_NE(back.id, original[i].id) << "an import takes a fresh id";
        back.id = original[i].id;
        EXPECT_EQ(back, original[i]);
    }
}

TEST(PresetFileTest, InvalidEntriesAreSkippedAndCounted) {
    QJsonObject noId = entry("Hand made");
    noId.remove("id");
    QJsonObject wrongType = entry("Typed");
    wrongType.insert("speed", "fast");
    QJsonObject unknownEffect = entry("Future");
    unknownEffect.insert("effect", "hologram");
    QJsonObject badColor = entry("Odd colour");
    badColor.insert("color", "+12345");
    const QByteArray json =
        fileWith({noId, wrongType, unknownEffect, badColor, entry("   "), entry(QString(201, u'x')),
                  42, QJsonArray{}, entry(" Kept ")});
    const presetFile::Contents contents = presetFile::decode(json);
    EXPECT_TRUE(contents.problem.isEmpty());
    EXPECT_EQ(names(contents.presets), (QStringList{"Hand made", "Kept"}));
    EXPECT_EQ(contents.skipped, 7);
    EXPECT_EQ(presetFile::importSummary(2, 7, 0, {}),
              "Imported 2 presets. Skipped 7 invalid entries.");
}

TEST(PresetFileTest, WhatIsNotAPresetFileSaysWhy) {
    const auto problem = [](const QByteArray& json) { return presetFile::decode(json).problem; };
    EXPECT_EQ(problem(""), "the file is empty");
    EXPECT_EQ(problem("[]"), "not a preset file");
    EXPECT_EQ(problem("{\"format\": \"other\", \"version\": 1, \"presets\": []}"),
              "not a preset file");
    EXPECT_EQ(problem("{\"format\": \"lumora-presets\", \"version\": 1, \"presets\": {}}"),
              "not a preset file");
    EXPECT_EQ(problem(fileWith({entry("A")}, 2)), "preset file version 2 is not supported");
    EXPECT_EQ(problem(fileWith({1, "two"})), "no valid preset in the file");
    EXPECT_EQ(presetFile::importSummary(0, 0, 0, "not a preset file"),
              "Nothing imported: not a preset file.");
    EXPECT_EQ(presetFile::importSummary(3, 0, 0, {}), "Imported 3 presets.");
}

// Files from anywhere: each is refused or read, and nothing is lost from the store. How long
// they take is measured by lumora_preset_file_bench.
TEST(PresetFileTest, HostileFilesAreHandledQuicklyAndLoseNothing) {
    QTemporaryDir dir;
    Settings settings(dir.filePath("lumora.conf"));
    settings.savePreset("Mine");
    const QList<Preset> before = settings.presets();

    QByteArray garbage(limits::maxJsonBytes, '\0');
    for (qsizetype i = 0; i < garbage.size(); ++i) {
        garbage[i] = char((i * 7919) % 251);
    }
    const QByteArray deep = QByteArray(100000, '[') + QByteArray(100000, ']');
    // Ten thousand entries fit in 1 MiB only when lean (no ids, short names) and some of them
    // are not presets at all.
    QJsonArray many;
    QJsonArray manyInvalid;
    for (int i = 0; i < 10000; ++i) {
        manyInvalid.append(QJsonObject{{"name", i}});
        if (i % 10 == 0) {
            many.append(QJsonObject{{"name", i}});
            continue;
        }
        many.append(QJsonObject{{"name", QString::number(i)},
                                {"effect", "solid"},
                                {"speed", 1},
                                {"brightness", 1},
                                {"width", 1},
                                {"color", "FFFFFF"},
                                {"corner", 1},
                                {"angle", 0}});
    }
    const auto compact = [](const QJsonArray& entries) {
        return QJsonDocument(
                   QJsonObject{{"format", "lumora-presets"}, {"version", 1}, {"presets", entries}})
            .toJson(QJsonDocument::Compact);
    };
    ASSERT_LT(compact(many).size(), limits::maxJsonBytes);
    const QByteArray longName = fileWith({entry(QString(10000, u'n'))});
    QJsonObject deepInside = entry("Deep");
    QJsonValue nested = 1;
    for (int i = 0; i < 500; ++i) {
        nested = QJsonArray{nested};
    }
    deepInside.insert("name", nested);
    const QByteArray wrongTypes =
        R"({"format": "lumora-presets", "version": "1", "presets": [{"name": 1}]})";

    struct Case {
        const char* what;
        QByteArray json;
        const char* problem;
    };
    const std::vector<Case> cases = {
        {"garbage", garbage, "not a preset file"},
        {"too large", garbage + "x", "the file is larger than 1 MiB"},
        {"deep nesting", deep, "not a preset file"},
        {"wrong types", wrongTypes, "not a preset file"},
        {"10,000-character name", longName, "no valid preset in the file"},
        {"nested value", fileWith({deepInside}), "no valid preset in the file"},
        {"10,000 invalid entries", compact(manyInvalid), "no valid preset in the file"},
        {"10,000 entries", compact(many), ""},
    };
    for (const Case& c : cases) {
        const presetFile::Contents contents = presetFile::decode(c.json);
        const QStringList added = settings.importPresets(contents.presets);
        EXPECT_EQ(contents.problem, QString::fromLatin1(c.problem)) << c.what;
        EXPECT_EQ(settings.presets().mid(0, before.size()), before) << c.what;
        if (c.problem[0] == '\0') {
            // The store fills up to its bound and says how many were left out.
            EXPECT_EQ(added.size(), limits::maxPresets - 1);
            EXPECT_EQ(settings.presets().size(), limits::maxPresets);
            EXPECT_EQ(presetFile::importSummary(added.size(), contents.skipped,
                                                contents.presets.size() - added.size(), {}),
                      "Imported 999 presets. Skipped 1000 invalid entries. Left out 8001: Lumora "
                      "keeps at most 1000 presets.");
        } else {
            EXPECT_TRUE(added.isEmpty()) << c.what;
        }
    }
    // Full: a new name is refused, an old one is still re-saved in place.
    EXPECT_EQ(settings.savePreset("One too many"), std::nullopt);
    EXPECT_EQ(settings.savePreset("mine"), before[0].id);
    EXPECT_EQ(settings.presets().size(), limits::maxPresets);
}

TEST(PresetFileTest, ClashingNamesAreKeptBothWithANumber) {
    QTemporaryDir dir;
    Settings settings(dir.filePath("lumora.conf"));
    settings.savePreset("Calm");
    settings.savePreset("Calm (2)");
    const QUuid calm = settings.presets()[0].id;

    const QStringList added =
        settings.importPresets({look("calm"), look("Party"), look("CALM"), look("party")});
    EXPECT_EQ(added, (QStringList{"calm (3)", "Party", "CALM (4)", "party (2)"}));
    EXPECT_EQ(names(settings.presets()),
              (QStringList{"Calm", "Calm (2)", "calm (3)", "Party", "CALM (4)", "party (2)"}));
    EXPECT_EQ(settings.presets()[0].id, calm);

    // Importing our own export twice keeps every copy, each under its own id.
    settings.importPresets(presetFile::decode(presetFile::encode(settings.presets())).presets);
    QSet<QUuid> ids;
    for (const Preset& p : settings.presets()) {
        ids.insert(p.id);
    }
    EXPECT_EQ(ids.size(), 12);

    // A long name keeps its number within the bound.
    const QStringList longOnes =
        settings.importPresets({look(QString(200, u'z')), look(QString(200, u'z'))});
    EXPECT_EQ(longOnes[0].size(), 200);
    EXPECT_EQ(longOnes[1], QString(196, u'z') + " (2)");
}

TEST(PresetFileTest, FindTakesAnIdInAnyFormOrANameInAnyCase) {
    const QList<Preset> presets{look("Calm"), look("Party")};
    const QString id = presets[1].id.toString(QUuid::WithoutBraces);
    EXPECT_EQ(presetFile::find(presets, id.toLower())->name, "Party");
    EXPECT_EQ(presetFile::find(presets, presets[1].id.toString())->name, "Party");
    EXPECT_EQ(presetFile::find(presets, " party ")->name, "Party");
    EXPECT_EQ(presetFile::find(presets, "Quiet"), std::nullopt);
}

} // namespace
} // namespace lumora
