#pragma once
#include <QString>
#include <QVariant>

#include <atomic>

class EffectParameters;

// The effect levels and choices in the settings store. Reading holds every value to its range
// (a hand-edited or damaged file never reaches the libraries) and leaves the file as it is;
// writing happens only when a value really changed, and not at all while switched off.
class EffectLevelStore
{
public:
    // Beauty levels, AI light and portrait level (the portrait type is the window's to restore).
    void load(EffectParameters& parameters) const;

    void writeLevel(int item, float level);
    void writeAiLight(float level);
    void writePortraitLevel(int level);
    void writePortraitType(int type);
    void writeBackgroundChoice(const QString& choice);
    void removeBackgroundChoice();

    // Off: nothing is written (batch exports use the stored settings without changing them).
    void setEnabled(bool on) { m_enabled = on; }

    // A level 0..1 and a whole number in [low, high] as the store holds them; the default where
    // it holds none or no number.
    static float storedLevel(const char* key, float defaultLevel);
    static int storedInt(const char* key, int defaultValue, int low, int high);

private:
    void write(const char* key, const QVariant& value);

    std::atomic<bool> m_enabled{true};
};
