#pragma once
// Request, reply and event identifiers of the device's command protocol.
// Requests are small numbers; replies and events carry 0x01000000.

#include <cstdint>

namespace proto {

// Requests (program to device).
constexpr uint32_t CMD_REQUEST_LOGIN = 0x0101;
constexpr uint32_t kReqOpenStream = 0x0201;
constexpr uint32_t kReqCloseStream = 0x0202;
constexpr uint32_t kReqStreamControl = 0x0203;
constexpr uint32_t kReq0205 = 0x0205;
constexpr uint32_t kReq0206 = 0x0206;
constexpr uint32_t kReq0208 = 0x0208;
constexpr uint32_t kReq020E = 0x020E;
constexpr uint32_t kReq0212 = 0x0212;
constexpr uint32_t kReq0216 = 0x0216;
constexpr uint32_t kReqImageSettings = 0x0301;
constexpr uint32_t kReq0302 = 0x0302;
constexpr uint32_t kReq0303 = 0x0303;
constexpr uint32_t kReq0305 = 0x0305;
constexpr uint32_t kReq030D = 0x030D;
constexpr uint32_t kReq0326 = 0x0326;
constexpr uint32_t kReq0328 = 0x0328;
constexpr uint32_t kReq0401 = 0x0401;
constexpr uint32_t kReq0405 = 0x0405;
constexpr uint32_t kReq0406 = 0x0406;
constexpr uint32_t kReq0407 = 0x0407;
constexpr uint32_t kReq0408 = 0x0408;
constexpr uint32_t kReqHttp = 0x0411;
constexpr uint32_t kReqResetProgress = 0x0504;
constexpr uint32_t kReqAwaitCompletion = 0x0505;
constexpr uint32_t kReq0701 = 0x0701;
constexpr uint32_t kReq0702 = 0x0702;
constexpr uint32_t kReq0703 = 0x0703;
constexpr uint32_t kReqUpgradeKernel = 0x0801;   // upgrade kind 1
constexpr uint32_t kReqUpgradeBoot = 0x0802;     // upgrade kind 2
constexpr uint32_t kReqUpgradeAiLib = 0x0805;    // upgrade kind 3
constexpr uint32_t kReqUpgradeSoftware = 0x0A02; // upgrade kind 0
constexpr uint32_t kReqConfigV3 = 0x0D01;        // version-3 configuration command
constexpr uint32_t kReq01000C07 = 0x01000C07;
constexpr uint32_t kReq01000C08 = 0x01000C08;
constexpr uint32_t kReq01000C09 = 0x01000C09;
constexpr uint32_t kReq01000C0A = 0x01000C0A;

// Replies and events (device to program).
constexpr uint32_t kReplyLoginOk = 0x01000101;
constexpr uint32_t CMD_REPLY_LONGIN_FAIL = 0x01000102;
constexpr uint32_t kEvent0103 = 0x01000103;
constexpr uint32_t kReply0201 = 0x01000201;
constexpr uint32_t kReply0206 = 0x01000206;
constexpr uint32_t kReply020A = 0x0100020A;
constexpr uint32_t kReply020C = 0x0100020C;
constexpr uint32_t kReply0212 = 0x01000212;
constexpr uint32_t kReply0213 = 0x01000213;
constexpr uint32_t kEvent02F2 = 0x010002F2;
constexpr uint32_t kEvent02F3 = 0x010002F3;
constexpr uint32_t kReplyImageSettings = 0x01000301;
constexpr uint32_t kReply0302 = 0x01000302;
constexpr uint32_t kReply0304 = 0x01000304;
constexpr uint32_t kReply0306 = 0x01000306;
constexpr uint32_t kReply0401 = 0x01000401;
constexpr uint32_t kReplyRefused = 0x01000402;
constexpr uint32_t kReply0405 = 0x01000405;
constexpr uint32_t kReply0406 = 0x01000406;
constexpr uint32_t kReplyHttp = 0x0100040F;
constexpr uint32_t kReplyProgress0504 = 0x01000504;
constexpr uint32_t kReplyProgress0505 = 0x01000505;
constexpr uint32_t kReplyProgress0506 = 0x01000506;
constexpr uint32_t kReplyDone0507 = 0x01000507;
constexpr uint32_t kReplyFailed0508 = 0x01000508;
constexpr uint32_t kReplyDone0701 = 0x01000701;
constexpr uint32_t kReplyFailed0702 = 0x01000702;
constexpr uint32_t kReplyUpgrade0801 = 0x01000801;
constexpr uint32_t kReplyProgress0802 = 0x01000802;
constexpr uint32_t kReplyUpgradeA01 = 0x01000A01;
constexpr uint32_t kReplyUpgradeA02 = 0x01000A02;
constexpr uint32_t kReplyUpgradeA03 = 0x01000A03;
constexpr uint32_t kReplyProgressA04 = 0x01000A04;
constexpr uint32_t kEventB01 = 0x01000B01;
constexpr uint32_t kEventB02 = 0x01000B02;
constexpr uint32_t kEventMediaFrame = 0x01000C01;
constexpr uint32_t kEventC03 = 0x01000C03;
constexpr uint32_t kReplyValueC0B = 0x01000C0B;
constexpr uint32_t kReplyC0C = 0x01000C0C;
constexpr uint32_t kEventD03 = 0x01000D03;
constexpr uint32_t kEventD04 = 0x01000D04;
constexpr uint32_t kEventD05 = 0x01000D05;
constexpr uint32_t kEvent2002 = 0x01002002;
constexpr uint32_t kEvent2006 = 0x01002006;
constexpr uint32_t kEvent2007 = 0x01002007;
constexpr uint32_t kEvent2008 = 0x01002008;
constexpr uint32_t kEvent2009 = 0x01002009;
constexpr uint32_t kEvent3000 = 0x01003000;
constexpr uint32_t kEvent3003 = 0x01003003;
constexpr uint32_t kEvent3004 = 0x01003004;

}  // namespace proto
