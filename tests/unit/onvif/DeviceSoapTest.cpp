// The device service's messages: the token, the times, the answers.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "common/markup/CBase64Encoder.h"
#include "onvif/DeviceSoap.h"
#include "onvif/OnvifNames.h"

namespace {

std::string Reply(const std::string& content, const char* env = "SOAP-ENV", const char* tds = "tds",
                  const char* tt = "tt") {
    return std::string("<") + env + ":Envelope xmlns:" + env +
           "=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:" + tds +
           "=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:" + tt +
           "=\"http://www.onvif.org/ver10/schema\" "
           "xmlns:ter=\"http://www.onvif.org/ver10/error\"><" +
           env + ":Body>" + content + "</" + env + ":Body></" + env + ":Envelope>";
}

TEST(DeviceSoap, PasswordDigestKnownAnswers) {
    // python3 -c "import hashlib,base64; n=base64.b64decode('LKqI6G/AikKCQrN0zqZFlg==');
    //   print(base64.b64encode(hashlib.sha1(n+b'2010-09-16T07:50:45Z'+b'userpassword').digest()).decode())"
    // python3 -c "import hashlib,base64; n=bytes(range(16));
    //   print(base64.b64encode(hashlib.sha1(n+b'2024-05-01T10:00:00.000Z'+'pässwörd'.encode()).digest()).decode())"
    const uint8_t nonce1[] = {0x2c, 0xaa, 0x88, 0xe8, 0x6f, 0xc0, 0x8a, 0x42,
                              0x82, 0x42, 0xb3, 0x74, 0xce, 0xa6, 0x45, 0x96};
    EXPECT_EQ(CBase64Encoder().Encode(nonce1, sizeof nonce1), "LKqI6G/AikKCQrN0zqZFlg==");
    EXPECT_EQ(onvif::PasswordDigest(nonce1, "2010-09-16T07:50:45Z", "userpassword"),
              "tuOSpGlFlIXsozq4HFNeeGeFLEI=");
    std::array<uint8_t, 16> nonce2{};
    for (size_t i = 0; i < nonce2.size(); ++i) {
        nonce2[i] = static_cast<uint8_t>(i);
    }
    EXPECT_EQ(onvif::PasswordDigest(nonce2, "2024-05-01T10:00:00.000Z", "p\xC3\xA4ssw\xC3\xB6rd"),
              "QaKttcxfhd7hVTHI0/PxlvNkP/M=");
}

TEST(DeviceSoap, UtcTextsInMilliseconds) {
    // python3 -c "import datetime; print(datetime.datetime.fromtimestamp(1284623445.123,
    // datetime.timezone.utc))"
    EXPECT_EQ(onvif::FormatUtc(1284623445123), "2010-09-16T07:50:45.123Z");
    EXPECT_EQ(onvif::FormatUtc(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(onvif::FormatUtc(951782400000), "2000-02-29T00:00:00.000Z");
    EXPECT_EQ(onvif::DaysFromCivil(2010, 9, 16), 14868);
}

TEST(DeviceSoap, SignedRequestCarriesTheToken) {
    onvif::UsernameToken token;
    ASSERT_TRUE(onvif::MakeUsernameToken("ad<min", "pw", 1284623445123, token));
    EXPECT_EQ(token.created, "2010-09-16T07:50:45.123Z");
    EXPECT_EQ(token.nonceBase64.size(), 24u);
    onvif::UsernameToken other;
    ASSERT_TRUE(onvif::MakeUsernameToken("admin", "pw", 1284623445123, other));
    EXPECT_NE(token.nonceBase64, other.nonceBase64) << "a fresh nonce each time";
    const std::string request = onvif::BuildDeviceRequest("GetDeviceInformation", &token);
    markup::XmlNsDocument doc;
    ASSERT_TRUE(doc.Parse(request));
    const auto* user = doc.Path(*doc.Root(), onvif::kSoap12Ns, {"Header"});
    ASSERT_NE(user, nullptr);
    user = doc.Path(*user, onvif::kSecurityNs, {"Security", "UsernameToken", "Username"});
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user->text, "ad<min");
    EXPECT_EQ(onvif::BuildDeviceRequest("GetSystemDateAndTime", nullptr).find("Security"),
              std::string::npos);
}

TEST(DeviceSoap, AnswersInEitherSpelling) {
    const char* styles[][3] = {{"SOAP-ENV", "tds", "tt"}, {"env", "ns2", "ns3"}};
    for (const auto& p : styles) {
        const std::string tt = p[2];
        auto e = [&](const char* name, const char* value) {
            return "<" + tt + ":" + name + ">" + value + "</" + tt + ":" + name + ">";
        };
        onvif::SoapReply time;
        ASSERT_TRUE(onvif::ParseSoapReply(
            Reply(std::string("<") + p[1] + ":GetSystemDateAndTimeResponse><" + p[1] +
                      ":SystemDateAndTime><" + tt + ":UTCDateTime><" + tt + ":Time>" +
                      e("Hour", "7") + e("Minute", "50") + e("Second", "45") + "</" + tt +
                      ":Time><" + tt + ":Date>" + e("Year", "2010") + e("Month", "9") +
                      e("Day", "16") + "</" + tt + ":Date></" + tt + ":UTCDateTime></" + p[1] +
                      ":SystemDateAndTime></" + p[1] + ":GetSystemDateAndTimeResponse>",
                  p[0], p[1], p[2]),
            time));
        int64_t utc = 0;
        ASSERT_TRUE(onvif::ReadSystemDateAndTime(time, utc)) << p[0];
        EXPECT_EQ(utc, 1284623445000);

        onvif::SoapReply info;
        const std::string d = p[1];
        ASSERT_TRUE(onvif::ParseSoapReply(
            Reply("<" + d + ":GetDeviceInformationResponse><" + d + ":Manufacturer>M</" + d +
                      ":Manufacturer><" + d + ":Model>X1</" + d + ":Model><" + d +
                      ":FirmwareVersion> 5.6.7 </" + d + ":FirmwareVersion><" + d +
                      ":SerialNumber>S1</" + d + ":SerialNumber><" + d + ":HardwareId>H</" + d +
                      ":HardwareId></" + d + ":GetDeviceInformationResponse>",
                  p[0], p[1], p[2]),
            info));
        onvif::DeviceInformation di;
        ASSERT_TRUE(onvif::ReadDeviceInformation(info, di));
        EXPECT_EQ(di.firmwareVersion, "5.6.7");
        EXPECT_EQ(di.serialNumber, "S1");

        onvif::SoapReply nics;
        ASSERT_TRUE(onvif::ParseSoapReply(
            Reply("<" + d + ":GetNetworkInterfacesResponse><" + d +
                      ":NetworkInterfaces token=\"a\"><" + tt + ":Info>" +
                      e("HwAddress", "00-11-22-aa-bb-cc") + "</" + tt + ":Info></" + d +
                      ":NetworkInterfaces><" + d + ":NetworkInterfaces token=\"b\"><" + tt +
                      ":Info>" + e("HwAddress", "unknown") + "</" + tt + ":Info></" + d +
                      ":NetworkInterfaces></" + d + ":GetNetworkInterfacesResponse>",
                  p[0], p[1], p[2]),
            nics));
        std::vector<std::string> macs;
        ASSERT_TRUE(onvif::ReadNetworkInterfaces(nics, macs));
        EXPECT_EQ(macs, (std::vector<std::string>{"00:11:22:AA:BB:CC", "unknown"}));
        EXPECT_FALSE(onvif::ReadDeviceInformation(nics, di)) << "an answer to another question";
    }
}

TEST(DeviceSoap, FaultsAndWhatIsNotSoap) {
    onvif::SoapReply fault;
    ASSERT_TRUE(onvif::ParseSoapReply(
        Reply(
            "<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</"
            "SOAP-ENV:Value><SOAP-ENV:Subcode>"
            "<SOAP-ENV:Value>ter:NotAuthorized</SOAP-ENV:Value></SOAP-ENV:Subcode></SOAP-ENV:Code>"
            "<SOAP-ENV:Reason><SOAP-ENV:Text xml:lang=\"en\">Sender not Authorized</SOAP-ENV:Text>"
            "</SOAP-ENV:Reason></SOAP-ENV:Fault>"),
        fault));
    EXPECT_TRUE(fault.fault);
    EXPECT_EQ(fault.faultCode, "Sender");
    EXPECT_EQ(fault.faultSubcode, "NotAuthorized");
    EXPECT_EQ(fault.faultReason, "Sender not Authorized");
    EXPECT_TRUE(onvif::IsAuthorizationFault(fault));
    int64_t utc = 0;
    EXPECT_FALSE(onvif::ReadSystemDateAndTime(fault, utc));
    onvif::SoapReply other;
    EXPECT_FALSE(onvif::ParseSoapReply("<html><body>401</body></html>", other));
    EXPECT_FALSE(onvif::ParseSoapReply("", other));
}

}  // namespace
