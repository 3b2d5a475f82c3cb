#include "common/PropertyTexts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "common/OposConstants.h"

namespace {

using namespace common;

TEST(PropertyTextsTest, TraceLinesNameThePropertyAndItsValue) {
    const struct {
        std::int32_t item;
        std::int32_t number;
        const char* text;
        const char* line;
    } cases[] = {
        {PIDX_ResultCode, 0, "", "ResultCode:OPOS_SUCCESS(0x00)"},
        {PIDX_ResultCode, 101, "", "ResultCode:OPOS_E_CLOSED(0x65)"},
        {PIDX_ResultCode, 111, "", "ResultCode:OPOS_E_FAILURE(0x6f)"},
        {PIDX_ResultCode, 114, "", "ResultCode:OPOS_E_EXTENDED(0x72)"},
        {PIDX_ResultCode, 100, "", "ResultCode:NONE(0x64)"},
        {PIDX_ResultCode, 115, "", "ResultCode:NONE(0x73)"},
        {PIDX_ResultCode, -1, "", "ResultCode:NONE(0xffffffff)"},
        {PIDX_CheckHealthText, 0, "Internal HCheck: Successful", "CheckHealthText:Internal HCheck: Successful"},
        {PIDX_Claimed, 0, "", "Claimed:FALSE(0x00)"},
        {PIDX_Claimed, 1, "", "Claimed:TRUE(0x01)"},
        {PIDX_Claimed, 2, "", "Claimed:NONE(0x02)"},
        {PIDX_PowerState, 1999, "", "PowerState:NONE(0x7cf)"},
        {PIDX_PowerState, 2000, "", "PowerState:OPOS_PS_UNKNOWN(0x7d0)"},
        {PIDX_PowerState, 2001, "", "PowerState:OPOS_PS_ONLINE(0x7d1)"},
        {PIDX_PowerState, 2004, "", "PowerState:OPOS_PS_OFF_OFFLINE(0x7d4)"},
        {PIDX_PowerState, 2005, "", "PowerState:NONE(0x7d5)"},
        {PIDX_State, 0, "", "State:NONE(0x00)"},
        {PIDX_State, 1, "", "State:OPOS_S_CLOSED(0x01)"},
        {PIDX_State, 4, "", "State:OPOS_S_ERROR(0x04)"},
        {PIDX_State, 5, "", "State:NONE(0x05)"},
        {PIDX_PowerNotify, 0, "", "PowerNotify:OPOS_PN_DISABLED(0x00)"},
        {PIDX_PowerNotify, 1, "", "PowerNotify: OPOS_PN_ENABLED(0x01)"},
        {PIDX_PowerNotify, 2, "", "PowerNotify:(0x02)"},
        {PIDX_FreezeEvents, 1, "", "FreezeEvents:(0x01)"},
        {PIDXPtr_CharacterSet, 437, "", "CharacterSet:(0x1b5)"},
        {PIDXPtr_ErrorString, 0, "Idle", "ErrorString:Idle"},
        {PIDXPtr_CoverOpen, 1, "", "CoverOpen:(0x01)"},
        {PIDX_DeviceEnabled, 1, "", "DeviceEnabled:TRUE(0x01)"},
        {PIDX_DeviceEnabled, 7, "", "DeviceEnabled:NONE(0x07)"},
        {PIDXPtr_FlagWhenIdle, 0, "", "FlagWhenIdle:(0x00)"},
        {PIDXPtr_AsyncMode, 1, "", "AsyncMode:(0x01)"},
        {PIDXPtr_RotateSpecial, 1, "", "RotateSpecial:(0x01)"},
        {PIDX_BinaryConversion, 0, "", "BinaryConversion:OPOS_BC_NONE(0x00)"},
        {PIDX_BinaryConversion, 1, "", "BinaryConversion:OPOS_BC_NIBBLE(0x01)"},
        {PIDX_BinaryConversion, 2, "", "BinaryConversion:OPOS_BC_DECIMAL(0x02)"},
        {PIDX_BinaryConversion, 3, "", "BinaryConversion:NONE(0x03)"},
        {PIDXPtr_ErrorLevel, 1, "", "ErrorLevel:(0x01)"},
        {PIDX_OutputID, 300, "", "OutputID:(0x12c)"},
        {PIDXPtr_ErrorStation, 1, "", "Code 0x1f44 not exist"},
        {0, 0, "", "Code 0x0 not exist"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(propertyTraceText(c.item, c.number, c.text), c.line) << c.item << " " << c.number;
    }
}

TEST(PropertyTextsTest, ErrorStringCoversEachListedRangeAndNothingBeside) {
    const struct {
        std::int32_t code;
        const char* text;
    } cases[] = {
        {0, "Idle"},
        {1, "OPOS_S_CLOSED"},
        {4, "OPOS_S_ERROR"},
        {5, "Unknowen Error"},
        {-1, "OPOS_FOREVER"},
        {-2, "Unknowen Error"},
        {99, "Unknowen Error"},
        {100, "OPOSERR"},
        {101, "OPOS_E_CLOSED"},
        {106, "OPOS_E_ILLEGAL"},
        {114, "OPOS_E_EXTENDED"},
        {115, "Unknowen Error"},
        {200, "OPOSERREXT"},
        {201, "OPOS_EPTR_COVER_OPEN"},
        {208, "OPOS_EPTR_JRN_CARTRIDGE_REMOVED"},
        {216, "OPOS_EPTR_SLP_HEAD_CLEANING"},
        {217, "Unknowen Error"},
        {300, "Unknowen Error"},
        {301, "OPOS_OR_ALREADYOPEN"},
        {302, "OPOS_OR_REGBADNAME"},
        {307, "OPOS_OR_BADVERSION"},
        {308, "Unknowen Error"},
        {401, "OPOS_ORS_NOPORT"},
        {402, "OPOS_ORS_NOTSUPPORTED"},
        {403, "OPOS_ORS_CONFIG"},
        {404, "Unknowen Error"},
        {450, "OPOS_ORS_SPECIFIC"},
        {1999, "Unknowen Error"},
        {2000, "OPOS_PS_UNKNOWN"},
        {2001, "OPOS_SUE_POWER_ONLINE"},
        {2004, "OPOS_SUE_POWER_OFF_OFFLINE"},
        {2005, "Unknowen Error"},
        {9009, "Error When Printing"},
        {100018, "Unknowen Error"},
        {100019, "OPOS_PS_OFF_OFFLINE"},
        {100020, "OPOS_PS_CUTTER_ERROR"},
        {100021, "OPOS_PS_LOCOMOTIVE_ERROR"},
        {100022, "Unknowen Error"},
        {INT32_MIN, "Unknowen Error"},
        {INT32_MAX, "Unknowen Error"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(errorStringText(c.code), c.text) << c.code;
    }
}

}  // namespace
