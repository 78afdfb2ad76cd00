#include "WindowMetrics.h"

#include <initializer_list>

void WindowMetrics::scale(double factor, bool includeNoticeHeight)
{
    for (int* metric : {&titleIconsInset, &titleBarHeight, &effectIconColumnWidth, &effectPanelWidth,
                        &bottomButtonsHeight, &bgItemWidth, &bgItemHeight, &controlBarHeight,
                        &controlButtonWidth, &controlButtonHeight, &controlBarMargin, &controlButtonTop,
                        &userPopupInset})
        *metric = int(*metric * factor);
    if (includeNoticeHeight)
        noticeHeight = int(noticeHeight * factor);
}
