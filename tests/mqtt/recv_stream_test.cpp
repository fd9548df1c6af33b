// How the receive buffer follows the byte stream: split and joined packets, reads of nothing,
// failures that must leave the bytes as received, and packets too large for the buffer.
#include <gtest/gtest.h>

#include "wire_fixture.h"

namespace norvex::test {
namespace {

const char* kQos1 = "32 07 00 02 2F 61 00 07 41";
const char* kQos0 = "30 06 00 02 2F 61 78 79";

// A QoS 0 PUBLISH on topic "t" with `payload` bytes of 0x5A.
Bytes BigPublish(uint32_t payload) {
    Bytes out{0x30};
    uint8_t len[4];
    int32_t n = mqtt::EncodeRemainingLength(len, payload + 3);
    out.insert(out.end(), len, len + n);
    out.insert(out.end(), {0x00, 0x01, 't'});
    out.insert(out.end(), payload, 0x5A);
    return out;
}

TEST(RecvStream, TwoPacketsInOneReadAreHandledInOrder) {
    WiredSession ws;
    Bytes both = Hex(kQos1);
    Bytes second = Hex("20 02 00 00");
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(ws.Feed(both), 0);
    EXPECT_EQ(ws.wire.calls,
              (std::vector<std::string>{"publish 7 [/a] [41] dup=0 qos=1", "connack 0 0"}));
    EXPECT_EQ(ws.WrittenHex(), "40 02 00 07");
    EXPECT_EQ(ws.s.fillPosition, ws.s.bufferStart);
}

TEST(RecvStream, EverySplitPointDeliversThePacketExactlyOnce) {
    Bytes packet = Hex(kQos1);
    for (size_t cut = 1; cut < packet.size(); ++cut) {
        WiredSession ws;
        EXPECT_EQ(ws.Feed(Bytes(packet.begin(), packet.begin() + static_cast<long>(cut))), 0);
        EXPECT_TRUE(ws.wire.calls.empty());
        EXPECT_EQ(ws.Buffered().size(), cut) << "partial bytes wait at bufferStart";
        EXPECT_EQ(ws.Feed(Bytes(packet.begin() + static_cast<long>(cut), packet.end())), 0);
        EXPECT_EQ(ws.wire.calls.size(), 1u) << "cut at " << cut;
        EXPECT_EQ(ws.WrittenHex(), "40 02 00 07");
    }
}

TEST(RecvStream, ByteByByteAcrossManyPackets) {
    WiredSession ws;
    Bytes stream = Hex(std::string(kQos0) + " D0 00 " + kQos1 + " 90 03 00 01 02");
    for (uint8_t b : stream) ASSERT_EQ(ws.Feed(Bytes{b}), 0);
    EXPECT_EQ(ws.wire.calls.size(), 4u);
    EXPECT_EQ(ws.wire.calls.back(), "suback 1 [02]");
    EXPECT_TRUE(ws.Buffered().empty());
}

TEST(RecvStream, ReadOfNothingKeepsAnIncompletePacket) {
    WiredSession ws;
    Bytes packet = Hex(kQos0);
    EXPECT_EQ(ws.Feed(Bytes(packet.begin(), packet.begin() + 5)), 0);
    EXPECT_EQ(ws.Feed(Bytes{}), mqtt::kErrNoData);
    EXPECT_EQ(ws.Buffered().size(), 5u);
    EXPECT_EQ(ws.Feed(Bytes(packet.begin() + 5, packet.end())), 0);
    EXPECT_EQ(ws.wire.calls, std::vector<std::string>{"publish 0 [/a] [78 79] dup=0 qos=0"});
}

TEST(RecvStream, CompletePacketPlusSixBytesKeepsTheSixAtBufferStart) {
    WiredSession ws;
    Bytes bytes = Hex("40 02 00 07  32 07 00 02 2F 61");
    EXPECT_EQ(ws.Feed(bytes), 0);
    EXPECT_EQ(ws.wire.calls, std::vector<std::string>{"puback 7"});
    EXPECT_EQ(ws.s.fillPosition, ws.s.bufferStart + 6);
    EXPECT_EQ(ToHex(ws.Buffered()), "32 07 00 02 2F 61");
    ws.Feed(Hex("00 07 41"));
    EXPECT_EQ(ws.wire.capacities.back(), 4096 - 6);
}

TEST(RecvStream, ClearReceiveForgetsAnOldConnection) {
    WiredSession ws;
    EXPECT_EQ(ws.Feed(Hex("32 07 00 02")), 0);
    mqtt::ClearReceive(&ws.s);
    EXPECT_TRUE(ws.Buffered().empty());
    EXPECT_EQ(ws.Feed(Hex("20 02 00 00")), 0);
    EXPECT_EQ(ws.wire.calls, std::vector<std::string>{"connack 0 0"});
}

TEST(RecvStream, ReaderFailuresLeaveTheBufferAlone) {
    WiredSession ws;
    ASSERT_EQ(ws.Feed(Hex("32 07 00")), 0);
    ws.wire.readFailure = -5;
    EXPECT_EQ(mqtt::ReceivePacket(&ws.s), mqtt::kErrReadFailed);
    EXPECT_EQ(ToHex(ws.Buffered()), "32 07 00");
    ws.wire.overReport = 1;  // claims one byte more than it was offered
    ws.wire.script.push_back(Bytes(4096, 0));
    EXPECT_EQ(mqtt::ReceivePacket(&ws.s), mqtt::kErrOverflow);
    EXPECT_EQ(ToHex(ws.Buffered()), "32 07 00");
}

TEST(RecvStream, FailedCallConsumesNothingAndLeavesTheBytesAsReceived) {
    WiredSession ws;
    // handled QoS 0 and QoS 1 packets (topics terminated in place), then a malformed one
    Bytes bytes = Hex(std::string(kQos0) + " " + kQos1 + " 60 02 00 07");
    EXPECT_EQ(ws.Feed(bytes), mqtt::kErrMalformed);
    EXPECT_EQ(ws.wire.calls.size(), 2u);
    EXPECT_EQ(ToHex(ws.Buffered()), ToHex(bytes));
}

TEST(RecvStream, RefusedPacketIsParsedAgainUnchangedOnTheNextCall) {
    WiredSession ws;
    ws.wire.handlerResult = -1;
    EXPECT_EQ(ws.Feed(Hex(std::string(kQos0) + " " + kQos1)), -1);
    ws.wire.handlerResult = 0;
    EXPECT_EQ(ws.Feed(Hex("D0 00")), 0);
    EXPECT_EQ(ws.wire.calls, (std::vector<std::string>{
                                 "publish 0 [/a] [78 79] dup=0 qos=0",  // refused
                                 "publish 0 [/a] [78 79] dup=0 qos=0",  // parsed again, intact
                                 "publish 7 [/a] [41] dup=0 qos=1", "pingresp"}));
    EXPECT_EQ(ws.WrittenHex(), "40 02 00 07");
}

TEST(RecvStream, PacketFillingTheWholeBufferIsReceived) {
    WiredSession ws;
    Bytes packet = BigPublish(4096 - 3 - 3);  // 1 + 2 length bytes + 4093
    ASSERT_EQ(packet.size(), 4096u);
    EXPECT_EQ(ws.Feed(packet), 0);
    ASSERT_EQ(ws.wire.calls.size(), 1u);
    EXPECT_EQ(ws.wire.calls[0].substr(0, 16), "publish 0 [t] [5");
}

TEST(RecvStream, OversizedPacketIsSkippedWithoutLosingWhatFollows) {
    for (uint32_t payload : {4091u, 5000u, 100000u}) {  // 4091: one byte over the buffer
        WiredSession ws;
        Bytes stream = BigPublish(payload);
        Bytes after = Hex(std::string(kQos1) + " D0 00");
        stream.insert(stream.end(), after.begin(), after.end());
        const size_t piece = 1500;  // the tail of the big packet shares a read with the next
        int reads = 0;
        for (size_t at = 0; at < stream.size(); at += piece, ++reads) {
            size_t end = std::min(stream.size(), at + piece);
            ASSERT_EQ(ws.Feed(Bytes(stream.begin() + static_cast<long>(at),
                                    stream.begin() + static_cast<long>(end))),
                      0);
            ASSERT_LT(reads, 200);
        }
        EXPECT_EQ(ws.wire.calls,
                  (std::vector<std::string>{"publish 7 [/a] [41] dup=0 qos=1", "pingresp"}))
            << payload;
        EXPECT_EQ(ws.WrittenHex(), "40 02 00 07");
        EXPECT_TRUE(ws.Buffered().empty());
        EXPECT_EQ(ws.s.skipLeft, 0u);
    }
}

TEST(RecvStream, OversizedPacketBehindAHandledOne) {
    WiredSession ws;
    Bytes stream = Hex("D0 00");
    Bytes big = BigPublish(6000);
    stream.insert(stream.end(), big.begin(), big.begin() + 100);
    EXPECT_EQ(ws.Feed(stream), 0);
    EXPECT_TRUE(ws.Buffered().empty());
    EXPECT_EQ(ws.s.skipLeft, big.size() - 100);
    mqtt::ClearReceive(&ws.s);  // a new connection ends the skipping too
    EXPECT_EQ(ws.s.skipLeft, 0u);
    EXPECT_EQ(ws.Feed(Hex("D0 00")), 0);
    EXPECT_EQ(ws.wire.calls, (std::vector<std::string>{"pingresp", "pingresp"}));
}

}  // namespace
}  // namespace norvex::test
