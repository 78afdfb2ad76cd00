#pragma once
#include <QByteArray>

#include <atomic>

// The engine's model of every effect setting: the 22 beauty levels, the AI light, the portrait
// type and level, the background type, the compare switch and the matting flags.
//
// Threading: levels, types and flags are atomics written by the GUI thread and read by the engine
// thread once per frame. backgroundVideoPath is written under the engine's effect lock and read by
// the export while the preview is stopped.
class EffectParameters
{
public:
    static constexpr int itemCount = 22;
    static constexpr float defaultAiLight = 0.6f;
    static constexpr int defaultPortraitLevel = 70;

    enum BackgroundType {
        NoBackground = 0,
        FileWithoutMatting = 1,
        SwitchOnNoBackground = 2,
        ReplaceBackground = 3,
        Virtualize = 4,
        VirtualizeWithoutMatting = 5,
    };

    EffectParameters();

    // Item index taken modulo itemCount, as every caller hands in.
    static int itemIndex(int item);
    static const char* itemName(int item);
    static float defaultLevel(int item);

    // Levels, AI light and portrait level from the settings store (defaults where absent).
    void load();
    // A level (0..1) and a whole number in [low, high] as the settings store holds them,
    // the default where it holds none or no number.
    static float storedLevel(const char* key, float defaultLevel);
    static int storedInt(const char* key, int defaultValue, int low, int high);

    float level(int item) const { return m_levels[itemIndex(item)]; }
    void setLevel(int item, float value) { m_levels[itemIndex(item)] = value; }

    std::atomic<float> aiLight{defaultAiLight};
    std::atomic<int> portraitType{0};
    std::atomic<float> portraitLevel{defaultPortraitLevel};
    std::atomic<int> backgroundType{SwitchOnNoBackground};
    std::atomic<bool> compare{false};
    std::atomic<bool> mattingActive{false};
    std::atomic<bool> mattingJustEnabled{false};
    QByteArray backgroundVideoPath;

    // The mask is needed: a matted replacement (type 3 by AI matting) or the blurred own background.
    bool mattingMode() const;
    // After a type change: the flag "just enabled" is set only on the change into matting mode.
    void updateMattingFlags();
    // End of a preview run: both flags follow the current mode.
    void resetMattingFlags();

private:
    std::atomic<float> m_levels[itemCount];
};
