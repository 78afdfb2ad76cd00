#pragma once
// Index groups of the 468-point face mesh. "Right"/"left" are the subject's sides: in a
// picture that is not mirrored the subject's right eye lies on the image's left.
#include <array>

namespace face::mesh {

constexpr int kPointCount = 468;

// Closed loop from the forehead top, down the image-right side, round the chin and back up.
constexpr std::array<int, 36> kFaceOval = {10,  338, 297, 332, 284, 251, 389, 356, 454, 323, 361, 288,
                                           397, 365, 379, 378, 400, 377, 152, 148, 176, 149, 150, 136,
                                           172, 58,  132, 93,  234, 127, 162, 21,  54,  103, 67,  109};
constexpr std::array<int, 16> kRightEye = {33, 246, 161, 160, 159, 158, 157, 173,
                                           133, 155, 154, 153, 145, 144, 163, 7};
constexpr std::array<int, 16> kLeftEye = {263, 466, 388, 387, 386, 385, 384, 398,
                                          362, 382, 381, 380, 374, 373, 390, 249};
constexpr std::array<int, 9> kRightLowerLid = {33, 7, 163, 144, 145, 153, 154, 155, 133};
constexpr std::array<int, 9> kLeftLowerLid = {263, 249, 390, 373, 374, 380, 381, 382, 362};
constexpr std::array<int, 10> kRightBrow = {70, 63, 105, 66, 107, 55, 65, 52, 53, 46};
constexpr std::array<int, 10> kLeftBrow = {300, 293, 334, 296, 336, 285, 295, 282, 283, 276};
constexpr std::array<int, 20> kLipsOuter = {61,  185, 40,  39,  37, 0,  267, 269, 270, 409,
                                            291, 375, 321, 405, 314, 17, 84,  181, 91,  146};
constexpr std::array<int, 20> kLipsInner = {78,  191, 80,  81,  82,  13, 312, 311, 310, 415,
                                            308, 324, 318, 402, 317, 14, 87,  178, 88,  95};
constexpr std::array<int, 7> kRightNoseWing = {129, 98, 64, 48, 219, 240, 75};
constexpr std::array<int, 7> kLeftNoseWing = {358, 327, 294, 278, 439, 460, 305};

constexpr int kRightEyeOuter = 33, kRightEyeInner = 133, kLeftEyeOuter = 263, kLeftEyeInner = 362;
constexpr int kRightEyeTop = 159, kRightEyeBottom = 145, kLeftEyeTop = 386, kLeftEyeBottom = 374;
constexpr int kNoseTip = 1, kNoseBridgeTop = 168, kNoseBase = 2;
constexpr int kRightAla = 129, kLeftAla = 358;
constexpr int kMouthRight = 61, kMouthLeft = 291, kUpperLipTop = 0, kLowerLipBottom = 17;
constexpr int kChin = 152, kForehead = 10, kForeheadCentre = 151;
constexpr int kRightCheek = 50, kLeftCheek = 280;
constexpr int kRightCheekbone = 234, kLeftCheekbone = 454;
constexpr int kRightJawAngle = 172, kLeftJawAngle = 397;

} // namespace face::mesh
