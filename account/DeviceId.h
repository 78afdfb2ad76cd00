#pragma once
#include <QString>

// The device identifier sent with every login: the hardware address of the first network
// interface that is up, running and not loopback, its ":" replaced by "-"; "获取mac地址错误"
// when there is none.
QString deviceId();
