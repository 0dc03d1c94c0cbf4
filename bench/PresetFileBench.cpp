// Reading preset files from elsewhere, hostile ones included: each must be refused or taken in
// well within a second.
#include "RunBenchmarks.h"
#include "settings/Limits.h"
#include "settings/PresetFile.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

using namespace lumora;

QByteArray fileWith(const QJsonArray& entries) {
    return QJsonDocument(
               QJsonObject{{"format", "lumora-presets"}, {"version", 1}, {"presets", entries}})
        .toJson(QJsonDocument::Compact);
}

QJsonObject lean(const QJsonValue& name) {
    return QJsonObject{{"name", name}, {"effect", "solid"}, {"speed", 1},  {"brightness", 1},
                       {"width", 1},   {"color", "FFFFFF"}, {"corner", 1}, {"angle", 0}};
}

QByteArray garbage() {
    QByteArray bytes(limits::maxJsonBytes, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bytes[i] = char((i * 7919) % 251);
    }
    return bytes;
}

QByteArray deepNesting() {
    return QByteArray(limits::maxJsonBytes / 2, '[') + QByteArray(limits::maxJsonBytes / 2, ']');
}

// Nine thousand valid entries and a thousand invalid ones: as many as fit in 1 MiB.
QByteArray tenThousandEntries() {
    QJsonArray entries;
    for (int i = 0; i < 10000; ++i) {
        entries.append(i % 10 == 0 ? QJsonValue(QJsonObject{{"name", i}})
                                   : lean(QString::number(i)));
    }
    return fileWith(entries);
}

QByteArray longNames() {
    QJsonArray entries;
    for (int i = 0; i < 90; ++i) {
        entries.append(lean(QString(10000, QChar(u'a' + i % 26))));
    }
    return fileWith(entries);
}

void decode(benchmark::State& state, QByteArray (*make)()) {
    const QByteArray json = make();
    for (auto _ : state) {
        benchmark::DoNotOptimize(presetFile::decode(json));
    }
    state.counters["bytes"] = double(json.size());
}

// Decoding and adding to a store that takes 999 of them, then its whole list written.
void importIntoStore(benchmark::State& state) {
    const QByteArray json = tenThousandEntries();
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        Settings settings(dir.filePath("lumora.conf"));
        settings.savePreset("Mine");
        state.ResumeTiming();
        const presetFile::Contents contents = presetFile::decode(json);
        benchmark::DoNotOptimize(settings.importPresets(contents.presets));
        settings.sync();
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::RegisterBenchmark("decode/1MiB_garbage", decode, &garbage)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode/1MiB_deep_nesting", decode, &deepNesting)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode/10000_entries", decode, &tenThousandEntries)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("decode/10000_character_names", decode, &longNames)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("import/999_into_a_store", importIntoStore)
        ->Unit(benchmark::kMillisecond);
    return lumora::runBenchmarks(argc, argv);
}
