#include "CPlayer.h"

#include <algorithm>

int CPlayer::NewVolume(int nValue, VolumeChange change, int nCurrent) {
    long long volume = nValue;
    if (change == VolumeChange::Relative)
        volume += nCurrent < 0 ? 50 : nCurrent;
    return static_cast<int>(std::clamp(volume, 0LL, 100LL));
}
