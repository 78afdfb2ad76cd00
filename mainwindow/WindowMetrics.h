#pragma once

// The main window's layout numbers, designed at 96 DPI and multiplied by the window's scale:
// at start with the first scale, and by the ratio of the new scale to the old one when the
// screen's DPI changes (the notice height keeps its first scale then).
class WindowMetrics
{
public:
    void scale(double factor, bool includeNoticeHeight);

    int titleIconsInset = 600;
    int titleBarHeight = 50;
    int effectIconColumnWidth = 50;
    int effectPanelWidth = 230;
    int bottomButtonsHeight = 64;
    int bgItemWidth = 90;
    int bgItemHeight = 60;
    int controlBarHeight = 64;
    int controlButtonWidth = 120;
    int controlButtonHeight = 36;
    int controlBarMargin = 24;
    int controlButtonTop = 14;
    int noticeHeight = 30;
    int userPopupInset = 22;
};
