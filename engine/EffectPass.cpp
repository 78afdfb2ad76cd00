#include "EffectPass.h"

#include "EffectParameters.h"

#include "BeautyFrameFor.h"
#include "ZR_FaceBeautyLib.h"
#include "ZR_Portrait_SDK.h"

using namespace ZRPortraitCOM;

namespace {
constexpr int kBackgroundParam = 20;
constexpr int kModeNone = -1;
constexpr int kModeReplace = 0;
constexpr int kModeVirtualize = 3;
}

EffectPass::EffectPass(const EffectParameters& parameters, int handle, std::mutex& effectLock)
    : m_parameters(parameters), m_handle(handle), m_effectLock(effectLock)
{
}

void EffectPass::processBeauty(BeautyFrame& frame, cv::Mat& bgr) const
{
    frame = beautyFrameFor(bgr.data, bgr.cols, bgr.rows);
    frame.mattingOn = m_parameters.mattingMode() ? 1 : 0;
    frame.result = zr_fb_native_process(m_handle, &frame);
}

void EffectPass::setBackgroundMode(BeautyFrame& frame, bool outputSkipped) const
{
    const int type = m_parameters.backgroundType;
    const int portraitType = m_parameters.portraitType;
    frame.backgroundMode = kModeNone;
    if (type == EffectParameters::ReplaceBackground && m_backgroundDropped)
        return;
    if (type == EffectParameters::ReplaceBackground && (portraitType == EffectParameters::GreenScreen || portraitType == EffectParameters::BlueScreen)) {
        frame.backgroundMode = portraitType;
        frame.backgroundLevel = static_cast<int>(m_parameters.portraitLevel);
        frame.backgroundParam = kBackgroundParam;
    } else if (!outputSkipped && type == EffectParameters::ReplaceBackground && portraitType == EffectParameters::AiMatting) {
        frame.backgroundMode = kModeReplace;
    } else if (!outputSkipped && type == EffectParameters::Virtualize) {
        frame.backgroundMode = kModeVirtualize;
    }
}

void EffectPass::preview(cv::Mat& bgr, cv::Mat& nv12, cv::Mat& mask) const
{
    // Both libraries spread their own work over the cores: the mask worked out beside the beauty
    // pass, from the decoded frame, made the pass no shorter.
    BeautyFrame frame;
    processBeauty(frame, bgr);
    const bool skipped = frame.outputSkipped != 0;
    if (m_parameters.mattingMode() && !skipped)
        zr_effect_bg_mask(bgr.data, 0, bgr.cols, bgr.rows, mask.data, nullptr);
    frame.mattingOn = 1;
    frame.data = skipped ? nullptr : nv12.data;
    frame.mask = mask.data;
    setBackgroundMode(frame, skipped);
    zr_fb_native_process2(m_handle, &frame, &m_effectLock);
}

bool EffectPass::exportFrame(cv::Mat& bgr, cv::Mat& nv12, cv::Mat& mask,
                             const std::function<void()>& feedBackground) const
{
    BeautyFrame frame;
    processBeauty(frame, bgr);
    const int type = m_parameters.backgroundType;
    if (type == EffectParameters::ReplaceBackground && !m_backgroundDropped)
        feedBackground();
    const bool matting = m_parameters.mattingMode() && !(type == EffectParameters::ReplaceBackground && m_backgroundDropped);
    if (matting)
        zr_effect_bg_mask(bgr.data, 0, bgr.cols, bgr.rows, mask.data, nullptr);
    frame.mattingOn = 1;
    frame.data = nv12.data;
    frame.mask = matting ? mask.data : nullptr;
    setBackgroundMode(frame, false);
    return zr_fb_native_process2(m_handle, &frame, &m_effectLock) == 0;
}
