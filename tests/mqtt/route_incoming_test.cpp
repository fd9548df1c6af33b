// Every incoming packet type: what is accepted, which handler sees what, which reply goes out,
// and every rejection.  Each case is one read of one packet into a fresh session.
#include <gtest/gtest.h>

#include "wire_fixture.h"

namespace norvex::test {
namespace {

struct RouteCase {
    const char* name;
    const char* packet;
    int32_t result;
    const char* calls;    // handler calls, joined with "; "
    const char* written;  // writer calls, joined with " | "
};

// "$creq/abc-1" and "$SYS/x" as topics, spelled out once
#define CREQ_TOPIC "00 0B 24 63 72 65 71 2F 61 62 63 2D 31"
#define SYS_TOPIC "00 06 24 53 59 53 2F 78"

const RouteCase kCases[] = {
    {"pingresp", "D0 00", 0, "pingresp", ""},
    {"pingresp_with_body", "D0 01 00", -4, "", ""},
    {"pingresp_flags", "D1 00", -4, "", ""},
    {"connack", "20 02 00 00", 0, "connack 0 0", ""},
    {"connack_session_present", "20 02 01 00", 0, "connack 1 0", ""},
    {"connack_refused_code_passed", "20 02 00 05", 0, "connack 0 5", ""},
    {"connack_flags_passed_whole", "20 02 FE 03", 0, "connack 254 3", ""},
    {"connack_present_with_error", "20 02 01 05", -4, "", ""},
    {"connack_code_6", "20 02 00 06", -4, "", ""},
    {"connack_code_80", "20 02 00 80", -4, "", ""},
    {"connack_length_3", "20 03 00 00 00", -4, "", ""},
    {"connack_flags", "21 02 00 00", -4, "", ""},
    {"suback", "90 04 00 01 02 02", 0, "suback 1 [02 02]", ""},
    {"suback_all_codes", "90 0A 00 01 00 01 02 03 80 81 82 83", 0,
     "suback 1 [00 01 02 03 80 81 82 83]", ""},
    {"suback_no_codes", "90 02 00 09", 0, "suback 9 []", ""},
    {"suback_code_04", "90 04 00 01 02 04", -4, "", ""},
    {"suback_code_40", "90 03 00 01 40", -4, "", ""},
    {"suback_id_0", "90 03 00 00 00", -4, "", ""},
    {"suback_short", "90 01 00", -4, "", ""},
    {"suback_flags", "92 03 00 01 00", -4, "", ""},
    {"publish_qos0", "30 06 00 02 2F 61 78 79", 0, "publish 0 [/a] [78 79] dup=0 qos=0", ""},
    {"publish_qos1", "32 07 00 02 2F 61 00 07 41", 0, "publish 7 [/a] [41] dup=0 qos=1",
     "40 02 00 07"},
    {"publish_qos2", "34 07 00 02 2F 61 00 07 41", 0, "publish 7 [/a] [41] dup=0 qos=2",
     "50 02 00 07"},
    {"publish_qos1_dup", "3A 06 00 02 2F 61 01 00", 0, "publish 256 [/a] [] dup=8 qos=1",
     "40 02 01 00"},
    {"publish_qos2_dup", "3C 06 00 02 2F 61 FF FF", 0, "publish 65535 [/a] [] dup=8 qos=2",
     "50 02 FF FF"},
    {"publish_retained", "31 06 00 02 2F 61 78 79", 0, "publish 0 [/a] [78 79] dup=0 qos=0", ""},
    {"publish_retained_qos1", "33 06 00 02 2F 61 00 02", 0, "publish 2 [/a] [] dup=0 qos=1",
     "40 02 00 02"},
    {"publish_empty_topic_qos0", "30 02 00 00", 0, "publish 0 [] [] dup=0 qos=0", ""},
    {"publish_empty_topic_qos1", "32 05 00 00 00 05 AA", 0, "publish 5 [] [AA] dup=0 qos=1",
     "40 02 00 05"},
    {"publish_utf8_topic", "30 05 00 03 E4 B8 AD", 0, "publish 0 [\xE4\xB8\xAD] [] dup=0 qos=0",
     ""},
    {"publish_qos0_dup", "38 06 00 02 2F 61 78 79", -4, "", ""},
    {"publish_qos3", "36 06 00 02 2F 61 00 01", -4, "", ""},
    {"publish_qos1_id_0", "32 06 00 02 2F 61 00 00", -4, "", ""},
    {"publish_qos1_no_id", "32 04 00 02 2F 61", -4, "", ""},
    {"publish_qos1_half_id", "32 05 00 02 2F 61 00", -4, "", ""},
    {"publish_short", "30 01 00", -4, "", ""},
    {"publish_topic_past_end", "30 03 00 05 61", -4, "", ""},
    {"publish_plus", "30 05 00 03 61 2B 62", -4, "", ""},
    {"publish_hash", "32 07 00 03 61 2F 23 00 01", -4, "", ""},
    {"publish_nul_in_topic", "30 04 00 02 61 00", -4, "", ""},
    {"publish_nul_first", "30 04 00 02 00 61", -4, "", ""},
    {"publish_bad_utf8", "30 04 00 02 C3 28", -4, "", ""},
    {"publish_cut_utf8", "30 04 00 02 61 E4", -4, "", ""},
    // platform commands are "$" topics like any other: acknowledged, handed to nobody
    {"command_qos1", "32 12 " CREQ_TOPIC " 00 03 01 02 03", 0, "", "40 02 00 03"},
    {"command_qos0", "30 0D " CREQ_TOPIC, 0, "", ""},
    {"command_bare", "30 08 00 05 24 63 72 65 71 7A", 0, "", ""},
    {"command_qos2_dup", "3C 0F " CREQ_TOPIC " 00 04", 0, "", "50 02 00 04"},
    {"dollar_topic_qos1_acked_only", "32 0A " SYS_TOPIC " 00 09", 0, "", "40 02 00 09"},
    {"dollar_topic_qos0", "30 09 " SYS_TOPIC " 55", 0, "", ""},
    {"puback", "40 02 00 07", 0, "puback 7", ""},
    {"puback_id_0", "40 02 00 00", -4, "", ""},
    {"puback_flags", "41 02 00 07", -4, "", ""},
    {"puback_length_3", "40 03 00 07 00", -4, "", ""},
    {"pubrec", "50 02 00 07", 0, "pubrec 7", "62 02 00 07"},
    {"pubrec_id_0", "50 02 00 00", -4, "", ""},
    {"pubrel", "62 02 00 07", 0, "pubrel 7", "70 02 00 07"},
    {"pubrel_without_flags", "60 02 00 07", -4, "", ""},
    {"pubcomp", "70 02 00 07", 0, "pubcomp 7", ""},
    {"pubcomp_length_1", "70 01 07", -4, "", ""},
    {"unsuback", "B0 02 12 34", 0, "unsuback 4660", ""},
    {"unsuback_id_0", "B0 02 00 00", -4, "", ""},
    {"type_0", "00 00", -4, "", ""},
    {"type_connect", "10 00", -4, "", ""},
    {"type_subscribe", "82 00", -4, "", ""},
    {"type_unsubscribe", "A2 00", -4, "", ""},
    {"type_pingreq", "C0 00", -4, "", ""},
    {"type_disconnect", "E0 00", -4, "", ""},
    {"type_15", "F0 00", -4, "", ""},
    // byte 0 is exact for every acknowledgement: any other flag bits refuse it unanswered
    {"pubrec_flags", "52 02 00 07", -4, "", ""},
    {"pubrel_flag_bit_0", "63 02 00 07", -4, "", ""},
    {"pubcomp_flags", "72 02 00 07", -4, "", ""},
    {"unsuback_flags", "B2 02 00 01", -4, "", ""},
    {"pingresp_flag_bit_1", "D2 00", -4, "", ""},
    {"length_of_four_bytes", "30 FF FF FF 7F", -4, "", ""},
    {"length_third_byte_continues", "30 FF FF FF", -4, "", ""},
};

std::string Join(const std::vector<std::string>& v) {
    std::string out;
    for (const std::string& s : v) out += (out.empty() ? "" : "; ") + s;
    return out;
}

void PrintTo(const RouteCase& c, std::ostream* os) {
    *os << c.name;
}

class RouteTable : public ::testing::TestWithParam<RouteCase> {};

TEST_P(RouteTable, ChecksCallsAndReplies) {
    const RouteCase& c = GetParam();
    WiredSession ws;
    Bytes packet = Hex(c.packet);
    EXPECT_EQ(ws.Feed(packet), c.result);
    EXPECT_EQ(Join(ws.wire.calls), c.calls);
    EXPECT_EQ(ws.WrittenHex(), c.written);
    if (c.result == 0) {
        EXPECT_TRUE(ws.Buffered().empty());
    } else {
        EXPECT_EQ(ToHex(ws.Buffered()), ToHex(packet)) << "a refused packet stays as received";
    }
}

INSTANTIATE_TEST_SUITE_P(Packets, RouteTable, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(RouteIncoming, EmptyHandlerSlotsCountAsHandledAndRepliesStillGo) {
    Wire wire;
    mqtt::Session s{};
    ASSERT_EQ(mqtt::SetupSession(&s, &Wire::Read, &wire, &Wire::Write, &wire, mqtt::Handlers{}), 0);
    wire.script.push_back(Hex("32 07 00 02 2F 61 00 07 41  62 02 00 08  D0 00"));
    EXPECT_EQ(mqtt::ReceivePacket(&s), 0);
    ASSERT_EQ(wire.writes.size(), 2u);
    EXPECT_EQ(ToHex(wire.writes[0]), "40 02 00 07");
    EXPECT_EQ(ToHex(wire.writes[1]), "70 02 00 08");
    mqtt::FreeSession(&s);
}

TEST(RouteIncoming, HandlerRefusalPassesThroughAndSuppressesTheReply) {
    for (const char* packet : {"32 07 00 02 2F 61 00 07 41", "50 02 00 07", "62 02 00 07"}) {
        WiredSession ws;
        ws.wire.handlerResult = -77;
        EXPECT_EQ(ws.Feed(Hex(packet)), -77) << packet;
        EXPECT_EQ(ws.wire.calls.size(), 1u);
        EXPECT_TRUE(ws.wire.writes.empty()) << packet;
    }
}

TEST(RouteIncoming, PositiveHandlerResultIsNotReported) {
    WiredSession ws;
    ws.wire.handlerResult = 5;
    EXPECT_EQ(ws.Feed(Hex("30 06 00 02 2F 61 78 79  50 02 00 07")), 0);
    EXPECT_EQ(ws.WrittenHex(), "62 02 00 07");
    // called directly, a QoS 0 PUBLISH gives the handler's result
    Bytes body = Hex("00 02 2F 61 78 79");
    EXPECT_EQ(mqtt::RouteIncoming(&ws.s, 0x30, body.data(), 6), 5);
}

TEST(RouteIncoming, ShortWriteOfAnAcknowledgementIsAckNotSent) {
    const std::pair<const char*, const char*> cases[] = {
        {"32 07 00 02 2F 61 00 07 41", "publish 7 [/a] [41] dup=0 qos=1"},
        {"34 07 00 02 2F 61 00 07 41", "publish 7 [/a] [41] dup=0 qos=2"},
        {"50 02 00 07", "pubrec 7"},
        {"62 02 00 07", "pubrel 7"},
    };
    for (int32_t writerResult : {3, -1}) {
        for (const auto& [packet, call] : cases) {
            WiredSession ws;
            ws.wire.writerResult = writerResult;
            EXPECT_EQ(ws.Feed(Hex(packet)), mqtt::kErrAckNotSent) << packet;
            ASSERT_EQ(ws.wire.calls.size(), 1u) << "the handler has already run";
            EXPECT_EQ(ws.wire.calls[0], call);
        }
    }
}

}  // namespace
}  // namespace norvex::test
