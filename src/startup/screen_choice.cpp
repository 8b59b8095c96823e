#include "startup/screen_choice.h"

ClientChoice chooseClientWindow(int32_t widthTwips)
{
    // Screens narrower than 640 pixels deliberately fall through to the largest window.
    if (widthTwips >= 9600 && widthTwips < 12000)
        return ClientChoice::Clt_640;
    if (widthTwips >= 12000 && widthTwips < 15360)
        return ClientChoice::Clt_800;
    return ClientChoice::Clt_1024;
}

const ClientLayout& clientLayout(ClientChoice choice)
{
    switch (choice) {
    case ClientChoice::Clt_640:
        return Clt_640;
    case ClientChoice::Clt_800:
        return Clt_800;
    case ClientChoice::Clt_1024:
        break;
    }
    return Clt_1024;
}
