#pragma once
// Keys of virtualBg.ini and the defaults read with them. The beauty item keys are the item
// names of the engine's item table.
namespace SettingsKeys {

inline constexpr const char* authToken = "auth_token";
inline constexpr const char* authTime = "auth_time";
inline constexpr const char* userInfo = "user_info";
inline constexpr const char* aiLight = "AI_LIGHT";
inline constexpr float aiLightDefault = 0.6f;
inline constexpr const char* portraitSwitch = "portrait_switch";
inline constexpr bool portraitSwitchDefault = true;
inline constexpr const char* portraitType = "portrait_type";
inline constexpr int portraitTypeDefault = 0;
inline constexpr const char* portraitLevel = "portrait_level";
inline constexpr int portraitLevelDefault = 70;
inline constexpr const char* portraitItem = "portrait_item";
inline constexpr const char* state = "STATE";
inline constexpr int stateDefault = 0;
inline constexpr const char* msmf = "msmf";
inline constexpr bool msmfDefault = false;

} // namespace SettingsKeys
