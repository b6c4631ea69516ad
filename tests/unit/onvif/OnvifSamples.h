#pragma once
// Discovery and device-service messages as cameras and PCs of different
// makers write them (prefixes, SOAP versions, declarations in different
// places), for the ONVIF tests.

#include <string>

namespace onvif_samples {

inline std::string Match(const std::string& env, const std::string& envNs, const std::string& a,
                         const std::string& d, const std::string& typesDecl,
                         const std::string& types) {
    return "<?xml version=\"1.0\"?><" + env + ":Envelope xmlns:" + env + "=\"" + envNs +
           "\" xmlns:" + a + "=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" xmlns:" + d +
           "=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><" + env + ":Header><" + a +
           ":MessageID>urn:uuid:probe-1</" + a + ":MessageID><" + a +
           ":RelatesTo>urn:uuid:probe-1</" + a + ":RelatesTo></" + env + ":Header><" + env +
           ":Body><" + d + ":ProbeMatches><" + d + ":ProbeMatch><" + a + ":EndpointReference><" +
           a + ":Address> urn:uuid:11111111-2222-3333-4444-555555555555 </" + a + ":Address></" +
           a + ":EndpointReference><" + d + ":Types" + typesDecl + ">" + types + "</" + d +
           ":Types><" + d +
           ":Scopes>onvif://www.onvif.org/name/Gate onvif://www.onvif.org/hardware/IPC-1\n"
           "\tonvif://www.onvif.org/MAC/02-00-00-00-00-01</" +
           d + ":Scopes><" + d +
           ":XAddrs>http://10.1.0.5/onvif/device_service http://[fe80::1]/onvif/device_service</" +
           d + ":XAddrs><" + d + ":MetadataVersion>7</" + d + ":MetadataVersion></" + d +
           ":ProbeMatch></" + d + ":ProbeMatches></" + env + ":Body></" + env + ":Envelope>";
}

inline std::string ProbeMatchStyleA() {
    return Match("s", "http://www.w3.org/2003/05/soap-envelope", "a", "d",
                 " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"",
                 "dn:NetworkVideoTransmitter");
}

inline std::string ProbeMatchStyleB() {
    return Match("SOAP-ENV", "http://www.w3.org/2003/05/soap-envelope", "wsa", "wsdd",
                 " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\" xmlns:x=\"urn:other\"",
                 "x:Thing tds:Device");
}

inline std::string ProbeMatchSoap11() {
    return Match("env", "http://schemas.xmlsoap.org/soap/envelope/", "wsa", "tns",
                 " xmlns:ns0=\"http://www.onvif.org/ver10/network/wsdl\"",
                 "ns0:NetworkVideoTransmitter");
}

inline std::string Announcement(const std::string& body) {
    return "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\" "
           "xmlns:wsdp=\"http://schemas.xmlsoap.org/ws/2006/02/"
           "devprof\"><e:Header><w:MessageID>urn:uuid:m1</"
           "w:MessageID></e:Header><e:Body>" +
           body + "</e:Body></e:Envelope>";
}

inline std::string Hello(const std::string& endpoint, const std::string& types) {
    return Announcement("<d:Hello><w:EndpointReference><w:Address>" + endpoint +
                        "</w:Address></w:EndpointReference><d:Types>" + types +
                        "</d:Types><d:XAddrs>http://10.9.0.5:8080/onvif/device_service</d:XAddrs>"
                        "<d:MetadataVersion>1</d:MetadataVersion></d:Hello>");
}

inline std::string PcHello() {
    return Announcement(
        "<d:Hello><w:EndpointReference><w:Address>urn:uuid:pc</w:Address></w:EndpointReference>"
        "<d:Types>wsdp:Device</d:Types><d:XAddrs>http://10.9.0.7:5357/x</d:XAddrs></d:Hello>");
}

inline std::string Bye(const std::string& endpoint) {
    return Announcement("<d:Bye><w:EndpointReference><w:Address>" + endpoint +
                        "</w:Address></w:EndpointReference></d:Bye>");
}

inline std::string Fault() {
    return Announcement(
        "<e:Fault><e:Code><e:Value>e:Sender</e:Value></e:Code><e:Reason><e:Text "
        "xml:lang=\"en\">no</e:Text>"
        "</e:Reason></e:Fault>");
}

}  // namespace onvif_samples
