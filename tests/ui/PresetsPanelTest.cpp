#include "ui/PresetsPanel.h"

#include "support/TextFiles.h"
#include "ui/NamingPopover.h"
#include "ui/PresetChip.h"

#include <QAccessible>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace lumora {
namespace {

class PresetsPanelTest : public ::testing::Test {
protected:
    PresetsPanelTest() : settings(dir.path() + "/lumora.conf") {
        panel.resize(560, 200);
        panel.show();
    }

    // The panel redraws once the store's assignments are over.
    void settle() { QCoreApplication::processEvents(); }

    QStringList chipNames() const {
        QStringList names;
        for (const PresetChip* chip : panel.chips()) {
            names << chip->text();
        }
        return names;
    }

    QList<bool> marks() const {
        QList<bool> checked;
        for (const PresetChip* chip : panel.chips()) {
            checked << chip->isChecked();
        }
        return checked;
    }

    QTemporaryDir dir;
    Settings settings;
    PresetsPanel panel{settings};
};

TEST_F(PresetsPanelTest, MarkFollowsTheActiveLook) {
    settings.savePreset("Calm");
    settings.setEffect(Effect::solid);
    settings.savePreset("Solid");
    settle();
    EXPECT_EQ(marks(), (QList<bool>{false, true}));

    settings.setAngle(90.5); // any stored value breaks the match at once
    settle();
    EXPECT_EQ(marks(), (QList<bool>{false, false}));

    QTest::mouseClick(panel.chips()[0], Qt::LeftButton);
    settle();
    EXPECT_EQ(settings.effect(), Effect::rainbowWave);
    EXPECT_EQ(marks(), (QList<bool>{true, false}));

    EXPECT_TRUE(QAccessible::queryAccessibleInterface(panel.chips()[0])->state().checked);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(panel.chips()[1])->state().checked);
}

TEST_F(PresetsPanelTest, DeleteFromTheContextMenuRemovesTheChip) {
    settings.savePreset("Calm");
    settings.setAngle(10);
    settings.savePreset("Party");
    settle();
    PresetChip* calm = panel.chips()[0];

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            calm->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(calm, &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_EQ(menu->actions()[0]->text(), "Delete");
    menu->actions()[0]->trigger();
    menu->close();
    settle();

    EXPECT_EQ(chipNames(), QStringList{"Party"});
    ASSERT_EQ(settings.presets().size(), 1);
    EXPECT_EQ(settings.presets()[0].name, "Party");
}

TEST_F(PresetsPanelTest, ChipColumnsFollowTheWidth) {
    for (const char* name : {"One", "Two", "Three", "Four", "Five"}) {
        settings.setAngle(settings.angle() + 1);
        settings.savePreset(name);
    }
    settle();
    const auto columns = [&] {
        QSet<int> lefts;
        for (const PresetChip* chip : panel.chips()) {
            EXPECT_GE(chip->width(), 130) << chip->text().toStdString();
            lefts << chip->x();
        }
        return lefts.size();
    };
    panel.resize(600, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(columns(), 4); // (568 + 8) / (130 + 8)
    panel.resize(320, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(columns(), 2);
    // Rows do not overlap, and the panel grew to hold them.
    const QList<PresetChip*>& chips = panel.chips();
    EXPECT_GE(chips[2]->y(), chips[0]->geometry().bottom() + 8);
    EXPECT_LE(chips[4]->geometry().bottom(), panel.height());
}

TEST_F(PresetsPanelTest, PopoverSavesOnlyWhatItShould) {
    EXPECT_TRUE(panel.emptyText()->isVisible());
    NamingPopover* popover = panel.popover();
    QTest::mouseClick(panel.saveButton(), Qt::LeftButton);
    ASSERT_TRUE(popover->isVisible());
    EXPECT_FALSE(popover->saveButton()->isEnabled());

    popover->field()->setText(" \t "); // typing a tab would move the focus instead
    EXPECT_FALSE(popover->saveButton()->isEnabled());
    // Return still submits: a blank name stores nothing, and the popover closes.
    QTest::keyClick(popover->field(), Qt::Key_Return);
    EXPECT_FALSE(popover->isVisible());
    EXPECT_TRUE(settings.presets().isEmpty());

    // Cancel and Escape keep the typed text but save nothing.
    QTest::mouseClick(panel.saveButton(), Qt::LeftButton);
    EXPECT_TRUE(popover->field()->text().isEmpty());
    QTest::keyClicks(popover->field(), "Party");
    EXPECT_TRUE(popover->saveButton()->isEnabled());
    QTest::mouseClick(popover->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(popover->isVisible());
    EXPECT_EQ(popover->field()->text(), "Party");
    popover->show();
    QTest::keyClick(popover->field(), Qt::Key_Escape);
    EXPECT_FALSE(popover->isVisible());
    EXPECT_TRUE(settings.presets().isEmpty());

    // Reopening empties the field; Return saves the trimmed name (the Save button is driven
    // below), and the chip takes the empty text's place, marked as the current look.
    QTest::mouseClick(panel.saveButton(), Qt::LeftButton);
    EXPECT_TRUE(popover->field()->text().isEmpty());
    popover->field()->setText("\tParty ");
    QTest::keyClick(popover->field(), Qt::Key_Return);
    settle();
    EXPECT_FALSE(popover->isVisible());
    ASSERT_EQ(settings.presets().size(), 1);
    EXPECT_EQ(settings.presets()[0].name, "Party");
    ASSERT_EQ(chipNames(), QStringList{"Party"});
    EXPECT_FALSE(panel.emptyText()->isVisible());
    EXPECT_TRUE(panel.chips()[0]->isVisible());
    EXPECT_EQ(marks(), QList<bool>{true});
}

TEST_F(PresetsPanelTest, AFullStoreSaysSoInsteadOfClosingAsIfSaved) {
    QList<Preset> many;
    for (int i = 0; i < 1000; ++i) {
        many << Preset{
            QUuid::createUuid(), QString("Look %1").arg(i), "solid", 1, 1, 0.4, "FF0000", 1, 90};
    }
    ASSERT_EQ(settings.importPresets(many).size(), 1000);
    NamingPopover* popover = panel.popover();
    QTest::mouseClick(panel.saveButton(), Qt::LeftButton);
    QTest::keyClicks(popover->field(), "One more");
    QTest::mouseClick(popover->saveButton(), Qt::LeftButton);
    EXPECT_TRUE(popover->isVisible());
    EXPECT_TRUE(popover->problemLabel()->isVisible());
    EXPECT_EQ(popover->problemLabel()->text(), "No room for another preset. Delete one first.");
    EXPECT_EQ(settings.presets().size(), 1000);

    // Re-saving a name that is there still works: it takes no new room.
    popover->field()->setText("Look 7");
    QTest::mouseClick(popover->saveButton(), Qt::LeftButton);
    EXPECT_FALSE(popover->isVisible());
    QTest::mouseClick(panel.saveButton(), Qt::LeftButton);
    EXPECT_FALSE(popover->problemLabel()->isVisible());
}

TEST_F(PresetsPanelTest, ExportAndImportShareLooksThroughFilesAndSayHowItWent) {
    QString chosen;
    QList<PresetsPanel::FileUse> asked;
    panel.setFileChooser([&](PresetsPanel::FileUse use) {
        asked << use;
        return chosen;
    });
    EXPECT_FALSE(panel.exportButton()->isEnabled()); // nothing to share yet
    EXPECT_FALSE(panel.resultText()->isVisible());

    settings.savePreset("Calm");
    settings.setAngle(10);
    settings.savePreset("Party");
    settle();
    ASSERT_TRUE(panel.exportButton()->isEnabled());

    // Cancelling a dialog does nothing and says nothing.
    QTest::mouseClick(panel.exportButton(), Qt::LeftButton);
    EXPECT_EQ(asked, QList<PresetsPanel::FileUse>{PresetsPanel::FileUse::save});
    EXPECT_FALSE(panel.resultText()->isVisible());

    chosen = dir.filePath("shared"); // the extension is added
    QTest::mouseClick(panel.exportButton(), Qt::LeftButton);
    EXPECT_EQ(panel.resultText()->text(), "Exported 2 presets.");
    EXPECT_TRUE(panel.resultText()->isVisible());
    ASSERT_TRUE(QFile::exists(dir.filePath("shared.json")));

    chosen = dir.filePath("shared.json");
    QTest::mouseClick(panel.importButton(), Qt::LeftButton);
    EXPECT_EQ(asked.last(), PresetsPanel::FileUse::open);
    settle();
    EXPECT_EQ(panel.resultText()->text(), "Imported 2 presets.");
    EXPECT_EQ(chipNames(), (QStringList{"Calm", "Party", "Calm (2)", "Party (2)"}));

    const QList<Preset> before = settings.presets();
    chosen = dir.filePath("other.conf"); // an INI file is no preset file
    writeText(chosen, "[General]\nspeed=2\n");
    QTest::mouseClick(panel.importButton(), Qt::LeftButton);
    EXPECT_EQ(panel.resultText()->text(), "Nothing imported: not a preset file.");
    chosen = dir.filePath("missing.json");
    QTest::mouseClick(panel.importButton(), Qt::LeftButton);
    EXPECT_TRUE(panel.resultText()->text().startsWith("Nothing imported: "))
        << panel.resultText()->text().toStdString();
    EXPECT_EQ(settings.presets(), before);

    chosen = dir.filePath("no/such/folder/out.json");
    QTest::mouseClick(panel.exportButton(), Qt::LeftButton);
    EXPECT_TRUE(panel.resultText()->text().startsWith("Nothing exported: "))
        << panel.resultText()->text().toStdString();
}

} // namespace
} // namespace lumora
