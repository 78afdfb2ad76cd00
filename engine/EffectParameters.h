#pragma once
#include "BeautyItems.h"

#include <QByteArray>

#include <atomic>

// The engine's model of every effect setting: the beauty levels, the AI light, the portrait
// type and level, the background type, the compare switch and the matting flags.
//
// Threading: levels, types and flags are atomics written by the GUI thread and read by the engine
// thread once per frame. backgroundVideoPath and unreadablePicturePath are written under the
// engine's effect lock and read by the export while the preview is stopped.
class EffectParameters
{
public:
    static constexpr int itemCount = BeautyItems::count;
    static constexpr float defaultAiLight = 0.6f;
    static constexpr int defaultPortraitLevel = 70;

    // What the background list and the portrait switch ask of the pipeline.
    enum BackgroundType {
        NoBackground = 0,
        FileWithoutMatting = 1,
        SwitchOnNoBackground = 2,
        ReplaceBackground = 3,
        Virtualize = 4,
        VirtualizeWithoutMatting = 5,
    };
    // How the person is cut out.
    enum PortraitType {
        AiMatting = 0,
        GreenScreen = 1,
        BlueScreen = 2,
    };

    // The background type of a background list row (0 none, 1 the blurred own background,
    // from 2 on a file) with the portrait switch on or off.
    static BackgroundType backgroundTypeFor(int row, bool switchOn);

    EffectParameters();

    // Item index taken modulo itemCount, as every caller hands in.
    static int itemIndex(int item) { return BeautyItems::index(item); }
    static const char* itemName(int item) { return BeautyItems::at(item).name; }
    static float defaultLevel(int item) { return BeautyItems::at(item).defaultLevel; }

    float level(int item) const { return m_levels[itemIndex(item)]; }
    void setLevel(int item, float value) { m_levels[itemIndex(item)] = value; }

    std::atomic<float> aiLight{defaultAiLight};
    std::atomic<int> portraitType{AiMatting};
    std::atomic<float> portraitLevel{defaultPortraitLevel};
    std::atomic<int> backgroundType{SwitchOnNoBackground};
    std::atomic<bool> compare{false};
    std::atomic<bool> mattingActive{false};
    std::atomic<bool> mattingJustEnabled{false};
    QByteArray backgroundVideoPath;
    // The background picture chosen last, when the library could not read it; else empty. The
    // library then keeps the background it had, which is not the one asked for.
    QByteArray unreadablePicturePath;

    // The mask is needed: a matted replacement (type 3 by AI matting) or the blurred own background.
    bool mattingMode() const;
    // Every item at its neutral level, no light and no background composition: the libraries
    // would hand back exactly the frame they were given.
    bool changesNoPixel() const;
    // After a type change: the flag "just enabled" is set only on the change into matting mode.
    void updateMattingFlags();
    // End of a preview run: both flags follow the current mode.
    void resetMattingFlags();

private:
    std::atomic<float> m_levels[itemCount];
};
