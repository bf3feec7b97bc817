// The parts of the player interface every player shares: the volume rule and
// the numbers the players and the Now Playing view exchange.
#include <gtest/gtest.h>

#include <climits>

#include "CPlayer.h"

namespace {

using Change = CPlayer::VolumeChange;

TEST(CPlayerNewVolume, AddsRelativeChangesAndClampsToZeroToHundred) {
    EXPECT_EQ(100, CPlayer::NewVolume(30, Change::Relative, 80));
    EXPECT_EQ(75, CPlayer::NewVolume(-5, Change::Relative, 80));
    EXPECT_EQ(0, CPlayer::NewVolume(-20, Change::Absolute, 80));
    EXPECT_EQ(0, CPlayer::NewVolume(-30, Change::Relative, 20));
    EXPECT_EQ(100, CPlayer::NewVolume(250, Change::Absolute, 10));
    EXPECT_EQ(40, CPlayer::NewVolume(40, Change::Absolute, -1));
    EXPECT_EQ(100, CPlayer::NewVolume(INT_MAX, Change::Relative, 100));  // no overflow
}

TEST(CPlayerNewVolume, UnreadableCurrentVolumeCountsAsFifty) {
    EXPECT_EQ(60, CPlayer::NewVolume(10, Change::Relative, -1));
    EXPECT_EQ(35, CPlayer::NewVolume(-15, Change::Relative, -1));
}

TEST(CPlayerMessages, NumbersAndStatesAreTheOnesThePlayersShare) {
    EXPECT_EQ(1872u, UM_PLAYER_CHANGED);
    EXPECT_EQ(1802u, UM_DECODER_BUFFERING);
    EXPECT_EQ(1818u, UM_DECODER_OPENED);
    EXPECT_EQ(1819u, UM_DECODER_PLAYING);
    EXPECT_EQ(1820u, UM_DECODER_STOPPED);
    EXPECT_EQ(1821u, UM_DECODER_STARTING);
    EXPECT_EQ(1828u, UM_DECODER_CODEC_ERROR);
    EXPECT_EQ(1829u, UM_DECODER_WRITE_ERROR);
    const LONG states[] = {CPlayer::Stopped, CPlayer::Opening, CPlayer::Playing, CPlayer::Failed};
    for (LONG i = 0; i < 4; ++i)
        EXPECT_EQ(i + 1, states[i]);
    EXPECT_EQ(CPlayer::Stopped, PlayerStatus{}.state);
}

}  // namespace
