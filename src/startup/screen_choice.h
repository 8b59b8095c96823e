#pragma once

#include "layouts/client_layouts.h"

#include <cstdint>

/// The three client windows, named after the screen width they are made for.
enum class ClientChoice : uint8_t { Clt_640, Clt_800, Clt_1024 };

/// Chooses the client window for a screen widthTwips wide: 640 for 9600..11999, 800 for
/// 12000..15359, 1024 for every other width (narrow screens included).
ClientChoice chooseClientWindow(int32_t widthTwips);

/// The layout table of a client window.
const ClientLayout& clientLayout(ClientChoice choice);
