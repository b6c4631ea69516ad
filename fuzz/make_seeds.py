#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/seed-*.

Run from anywhere:  python3 fuzz/make_seeds.py
Seeds are small, meaningful inputs: the package and search-answer fixtures
of tests/data are copied, everything else is made here from the wire
layouts (digests from Python's hashlib). Only seed-* files are written;
inputs added to a corpus by hand (crash-* reproducers, inputs a fuzzing run
found) are left alone.
"""
import base64
import hashlib
import pathlib
import shutil
import struct

FUZZ = pathlib.Path(__file__).resolve().parent
DATA = FUZZ.parent / "tests" / "data"
CORPUS = FUZZ / "corpus"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    (folder / ("seed-" + name)).write_bytes(data)


def copy(target, source, name=None):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(source, folder / ("seed-" + (name or source.name)))


def le32(*values):
    return b"".join(struct.pack("<I", v & 0xFFFFFFFF) for v in values)


# ---- markup: the XML reader and the search-answer parser -----------------

def markup():
    for path in sorted((DATA / "search-answers").glob("*.xml")):
        copy("markup", path)
    write("markup", "nested.xml",
          "<a><b>x</b><b/><c><d>&lt;&#65;&#x42;&amp;&quot;&apos;&gt;</d></c>"
          "<item>1</item><item>2</item></a>")
    write("markup", "markup-kinds.xml",
          '<?xml version="1.0"?>\n<!DOCTYPE r [<!ELEMENT r ANY>]>\n'
          "<r><!-- note --><t a='1' b=\"2\">one<![CDATA[<raw> & ]]>two<?pi x?></t>"
          "<e /><f\tx='y'/></r>")
    write("markup", "ill-formed.xml", "<a><b><c></b>text</a><d>")
    write("markup", "two-roots.xml", "<a/><b>x</b>")
    write("markup", "unterminated.xml", "<a><!-- never <![CDATA[ x")
    write("markup", "answer-fwbatch.xml",
          "<multicastSearchResult><productInfo><productSeries>KMX_IPC</productSeries>"
          "<devName>n</devName><build>-7</build><deviceActivated>+0012</deviceActivated>"
          "</productInfo><tcpIp><ipAddr><item><ip>1.2.3.4</ip></item></ipAddr></tcpIp>"
          "<port><dataPort> 99999999999</dataPort></port></multicastSearchResult>")


# ---- lanscout_datagram: probes and answers --------------------------------

def datagram_header(kind, search_id, round_no, version=1, magic=b"LSCT"):
    return magic + bytes([version, kind, 0, 0]) + le32(search_id, round_no)


def lanscout():
    probe = datagram_header(1, 0x12345678, 3) + struct.pack("<HBB", 2000, 1, 0)
    write("lanscout_datagram", "probe", probe)
    xml = (DATA / "search-answers" / "nvr-reordered.xml").read_bytes()
    mac = b"02:53:49:4D:00:01"
    answer = datagram_header(2, 0x12345678, 3) + bytes([len(mac), 0]) + \
        struct.pack("<H", len(xml)) + mac + xml
    write("lanscout_datagram", "answer", answer)
    write("lanscout_datagram", "answer-unsolicited",
          datagram_header(2, 0, 0) + bytes([1, 0]) + struct.pack("<H", 3) + b"Mabc")
    write("lanscout_datagram", "bad-version", datagram_header(1, 1, 1, version=2) + bytes(4))
    write("lanscout_datagram", "answer-bad-length", answer[:-1])
    write("lanscout_datagram", "answer-nul-text",
          datagram_header(2, 5, 6) + bytes([2, 0]) + struct.pack("<H", 2) + b"AB\0x")


# ---- link_frames: a received stream --------------------------------------

def frame(length):
    return b"1111" + le32(length)


def fragment(message_id, count, total, number, length, slot):
    return frame(0xFFFFFFFF) + le32(message_id, count, total, number, length, slot)


def link():
    stream = (le32(0) + frame(0) + frame(5) + b"hello" +
              fragment(7, 2, 10, 1, 5, 0) + b"abcde" + fragment(7, 2, 10, 2, 5, 0) + b"fghij")
    write("link_frames", "stream", stream)
    write("link_frames", "limits",
          le32(16) + fragment(1, 1, 17, 1, 1, 0) + b"x" + fragment(1, 1, 16, 1, 16, 1) + bytes(16))
    write("link_frames", "bad-slot", le32(0) + fragment(2, 1, 4, 1, 4, 2) + b"abcd" + frame(0))
    write("link_frames", "malformed",
          le32(0) + fragment(3, 0, 4, 1, 4, 0) + fragment(3, 2, 4, 3, 4, 1) +
          fragment(3, 1, 4, 1, 5, 0) + b"abcde" + b"2222" + le32(0))


# ---- session_message: replies and greetings ------------------------------

def session():
    body = bytearray(112)
    body[0:4] = le32(1)
    body[4:24] = le32(2, 3, 4, 5, 6)
    body[24], body[25], body[26], body[27], body[29] = 1, 1, 26, 27, 1
    body[31], body[32], body[35] = 1, 1, 35
    body[40:60] = le32(1, 0x03040201, 48, 52, 56)
    body[92:100] = le32(92) + bytes([9, 8, 7, 6])
    body[109] = 1
    write("session_message", "login-reply", le32(0x01000101, 0, 0, len(body)) + body)
    http = b"HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n\0\0\0"
    write("session_message", "http-reply", le32(0x0100040F, 0, 0, len(http)) + http)
    write("session_message", "declared-longer", le32(0x01000101, 0, 0, 400) + bytes(20))
    write("session_message", "short", le32(0x0100040F) + b"xy")
    greeting = bytearray(64)
    greeting[8:16] = le32(5, 3)
    greeting[44:48] = bytes([2, 0x40, 0xE2, 0x01])
    greeting[52:56] = le32(1)
    write("session_message", "greeting", bytes(greeting) + bytes(16))


# ---- sim_login: greeting, record, credentials ----------------------------

MAC = bytes([0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E])


def greeting_for(transform=0, key=b"\0\0\0\0", digest_mode=0, session_no=0):
    g = bytearray(64)
    g[8:16] = le32(5, 3)
    g[24:28] = le32(transform)
    g[28:32] = key
    g[44] = digest_mode
    g[45:48] = struct.pack("<I", session_no)[:3]
    return bytes(g)


def login_record(user, password, transform=0, key=b"\0\0\0\0", digest_mode=0, session_no=0,
                 r=0):
    rec = bytearray(116)
    rec[104:110] = MAC
    u, p = user.encode(), password.encode()
    rec[4:4 + len(u)] = u
    rec[36:36 + len(p)] = p
    if transform:
        name = bytearray(u + b"\0")
        for i in range(len(name)):
            name[i] ^= key[i % 4]
        rec[4:36] = bytes(32)
        rec[4:4 + len(name)] = name
        pw = bytearray(rec[36:68])
        for i in range(32):
            pw[i] ^= key[i % 4]
        rec[36:68] = pw
    elif digest_mode in (1, 2):
        text = hashlib.md5(p).hexdigest().upper() + "%08d" % session_no
        rec[36:68] = hashlib.sha1(text.encode()).digest() + bytes(12)
        rec[68:72] = le32(r % 0xFFFF00 + 1)
        if digest_mode == 2:
            t = str(session_no).encode()
            for i in range(32):
                if rec[4 + i]:
                    rec[4 + i] ^= t[i % len(t)]
    return bytes(rec)


def sim_login():
    creds = b"admin\0" + b"739164"
    write("sim_login", "plain", greeting_for() + login_record("admin", "739164") + creds)
    key = b"\x5a\xa5\x3c\xc3"
    write("sim_login", "transform",
          greeting_for(0x10000, key) + login_record("admin", "739164", 0x10000, key) + creds)
    write("sim_login", "digest1",
          greeting_for(digest_mode=1, session_no=123456) +
          login_record("admin", "739164", digest_mode=1, session_no=123456, r=42) + creds)
    write("sim_login", "digest2",
          greeting_for(digest_mode=2, session_no=5) +
          login_record("ab", "x", digest_mode=2, session_no=5, r=7) + b"ab\0x")
    write("sim_login", "wrong-password",
          greeting_for() + login_record("admin", "000000") + creds)
    write("sim_login", "short-record", greeting_for() + bytes(50))


# ---- sim_upgrade: operations on the assembler ----------------------------

def sim_upgrade():
    # 100 pieces in order, then the image is taken.
    whole = b"".join(bytes([0x04, 3]) + b"abc" for _ in range(100)) + bytes([0x0C])
    write("sim_upgrade", "complete", whole)

    def raw(kind, sequence, data=b""):
        piece = le32(sequence) + data
        return bytes([kind, len(piece)]) + piece

    write("sim_upgrade", "out-of-order", raw(0, 1, b"xy") + raw(0, 3, b"z") + raw(0, 4))
    write("sim_upgrade", "kind-switch",
          bytes([0x05, 1, 0x41, 0x05, 1, 0x42]) + raw(2, 3) + bytes([0x08]) + raw(1, 1, b"n"))
    write("sim_upgrade", "short-piece", bytes([0x00, 2, 1, 0]) + raw(3, 1) + raw(3, 2, b"q"))
    # 17 pieces of 255 bytes pass the assembler's 4096-byte limit.
    write("sim_upgrade", "too-large", b"".join(bytes([0x04, 255]) + bytes(255) for _ in range(17)))


# ---- sim_base64 -----------------------------------------------------------

def sim_base64():
    for name, text in [("credentials", "YWRtaW46NzM5MTY0"), ("pad2", "YQ=="), ("pad1", "YWI="),
                       ("empty", ""), ("not-base64", "not base64!"), ("bad-pad", "YW=x"),
                       ("all-symbols", "+/+/AZaz09==")]:
        write("sim_base64", name, text)


# ---- fac_package and fac_parts --------------------------------------------

FAC_COPIES = ["full.fac", "small.fac", "login_wallpaper.fac", "garbled_pictures.fac",
              "long_names.fac", "product_blocks_bad.fac", "lf_only.fac", "zero_length_entry.fac",
              "trailing_bytes.fac", "unknown_picture.fac", "common_without_header.fac"]


def fac():
    for name in FAC_COPIES:
        copy("fac_package", DATA / "fac" / name)
    inputs = DATA / "fac" / "inputs"
    rs, us = b"\x1e", b"\x1f"

    def entry(name, data):
        if isinstance(data, pathlib.Path):
            data = data.read_bytes()
        # The separators cannot appear inside a part.
        assert rs not in data and us not in data, name
        return rs + name + us + data

    pictures = inputs / "pictures"
    write("fac_parts", "full",
          b"KMX-CUST-01" + rs + (inputs / "common.txt").read_bytes() +
          entry(b"IPC-A", inputs / "ipc-a.txt") + entry(b"ipc-b", inputs / "ipc-b.txt") +
          entry(b"Dome-X", inputs / "dome-x.txt") +
          entry(b"@title_icon.png", pictures / "title_icon.png") +
          entry(b"@icon_old.jpg", pictures / "icon_old.jpg") +
          entry(b"@TabletLogo.png", b"\x89PNG\r\n\x1a\ntablet logo") +
          entry(b"@starticon.png", pictures / "starticon.png") +
          entry(b"@wallpaper.png", pictures / "wallpaper.png"))
    write("fac_parts", "small",
          b"C" + rs + (inputs / "small-common.txt").read_bytes() +
          entry(b"A", inputs / "small-a.txt") + entry(b"a", inputs / "small-b.txt"))
    write("fac_parts", "lf-only",
          b"LF" + rs + (inputs / "lf-common.txt").read_bytes() +
          entry(b"P", inputs / "lf-product.txt"))
    write("fac_parts", "no-header", b"X" + rs + b"a=1\r\nb=2" + rs + b"P" + us + b"c=3")


# ---- upgrade_package: type, device version, package ------------------------

def version(a, b, c, d):
    return le32((a << 24) | (b << 16) | (c << 8) | d)


def upgrade_package():
    pkg = DATA / "fwbatch"
    sw = (pkg / "sw_250.pkg").read_bytes()
    gz = (pkg / "sw_gzip.pkg").read_bytes()
    kernel = (pkg / "kernel.pkg").read_bytes()
    for name, type_, ver, data in [
            ("software", 0, version(4, 0, 2, 0), sw),
            ("software-gzip-old-device", 0, version(4, 0, 1, 0), gz),
            ("software-gzip-new-device", 0, version(4, 0, 2, 0), gz),
            ("software-4.0.10.1", 0, version(4, 0, 10, 1), gz),
            ("kernel", 1, version(5, 0, 0, 0), kernel),
            ("uboot", 2, version(5, 0, 0, 0), (pkg / "uboot.pkg").read_bytes()),
            ("ai", 3, version(5, 0, 0, 0), (pkg / "ai.pkg").read_bytes()),
            ("kernel-as-uboot", 2, version(5, 0, 0, 0), kernel),
            ("truncated-trailer", 1, version(5, 0, 0, 0), kernel[:-3]),
            ("trailer-only", 3, version(5, 0, 0, 0), b"head" + le32(5) + bytes(8)),
            ("unknown-type", 4, version(5, 0, 0, 0), kernel),
            ("negative-type", 0xFF, version(5, 0, 0, 0), sw),
            ("empty", 0, version(5, 0, 0, 0), b"")]:
        write("upgrade_package", name, bytes([type_]) + ver + data)


# ---- device_info: GetDeviceInfo answer documents --------------------------

def device_info():
    def doc(structure, face="2.0.1", vehicle="1.0.5", before=""):
        return (before + "<config><deviceInfo><structVersion>" + structure +
                "</structVersion><faceDetectVersion>" + face +
                "</faceDetectVersion><vehicleVersion>" + vehicle +
                "</vehicleVersion></deviceInfo></config>")
    write("device_info", "answer", '<?xml version="1.0" encoding="UTF-8"?>' + doc("1.2.0"))
    write("device_info", "no-device-info", "<config><other/></config>")
    write("device_info", "out-of-order",
          "<config><deviceInfo><vehicleVersion>9</vehicleVersion><structVersion>1"
          "</structVersion></deviceInfo></config>")
    write("device_info", "long-version", doc("v" * 200))
    write("device_info", "cut-in-character", doc("\u4e2d" * 22))
    write("device_info", "zero-byte", doc("1.2\0secret"))
    write("device_info", "not-utf8", doc("\xff\xfe").encode("latin-1"))
    write("device_info", "entities",
          doc("&lol2;", before='<!DOCTYPE config [<!ENTITY lol "lol">'
                               '<!ENTITY lol2 "&lol;&lol;&lol;&lol;">]>'))
    write("device_info", "unterminated", "<config><deviceInfo><structVersion>1.0")
    write("device_info", "nested", doc("<a>" * 64 + "</a>" * 64))
    write("device_info", "stray-end-tags", "<config><deviceInfo>" + "<a>" * 32 + "</b>" * 32)


# ---- onvif: discovery datagrams, device-service replies, camsim's side ----

SOAP12 = "http://www.w3.org/2003/05/soap-envelope"
WSA = "http://schemas.xmlsoap.org/ws/2004/08/addressing"
WSD = "http://schemas.xmlsoap.org/ws/2005/04/discovery"
DN = "http://www.onvif.org/ver10/network/wsdl"
TDS = "http://www.onvif.org/ver10/device/wsdl"
TT = "http://www.onvif.org/ver10/schema"


def envelope(body, env="s", a="a", d="d", header="", soap=SOAP12):
    return (f'<?xml version="1.0" encoding="UTF-8"?><{env}:Envelope xmlns:{env}="{soap}" '
            f'xmlns:{a}="{WSA}" xmlns:{d}="{WSD}"><{env}:Header>{header}</{env}:Header>'
            f'<{env}:Body>{body}</{env}:Body></{env}:Envelope>')


def target(a, d, endpoint, types, xaddrs, scopes):
    return (f"<{a}:EndpointReference><{a}:Address>{endpoint}</{a}:Address></{a}:EndpointReference>"
            f'<{d}:Types xmlns:dn="{DN}" xmlns:tds="{TDS}">{types}</{d}:Types>'
            f"<{d}:Scopes>{scopes}</{d}:Scopes><{d}:XAddrs>{xaddrs}</{d}:XAddrs>"
            f"<{d}:MetadataVersion>1</{d}:MetadataVersion>")


def onvif_discovery():
    t = "onvif_discovery"
    scopes = ("onvif://www.onvif.org/name/Gate%20A onvif://www.onvif.org/hardware/IPC-1 "
              "onvif://www.onvif.org/MAC/02-53-49-4d-00-01")
    header = "<a:MessageID>urn:uuid:m1</a:MessageID><a:RelatesTo>urn:uuid:p1</a:RelatesTo>"
    write(t, "probe-match.xml", envelope(
        "<d:ProbeMatches><d:ProbeMatch>" + target("a", "d", "urn:uuid:c1", "dn:NetworkVideoTransmitter tds:Device",
                                                 "http://10.1.0.5/onvif/device_service http://[fe80::1]:80/x",
                                                 scopes) + "</d:ProbeMatch></d:ProbeMatches>", header=header))
    write(t, "probe-match-other-prefixes.xml", envelope(
        "<wsdd:ProbeMatches><wsdd:ProbeMatch>" + target("wsa", "wsdd", "urn:uuid:c2", "tds:Device",
                                                        "http://10.1.0.6:8080/onvif/device_service", scopes) +
        "</wsdd:ProbeMatch></wsdd:ProbeMatches>", env="SOAP-ENV", a="wsa", d="wsdd"))
    write(t, "probe-match-soap11.xml", envelope(
        "<d:ProbeMatches><d:ProbeMatch>" + target("a", "d", "urn:uuid:c3", "dn:NetworkVideoTransmitter",
                                                 "http://10.1.0.7/onvif/device_service", "") +
        "</d:ProbeMatch></d:ProbeMatches>", soap="http://schemas.xmlsoap.org/soap/envelope/"))
    write(t, "hello.xml", envelope("<d:Hello>" + target("a", "d", "urn:uuid:c1", "dn:NetworkVideoTransmitter",
                                                         "http://10.9.0.5/onvif/device_service", scopes) + "</d:Hello>",
                                    header="<a:MessageID>urn:uuid:h1</a:MessageID>"))
    write(t, "pc-hello.xml", envelope(
        '<d:Hello><a:EndpointReference><a:Address>urn:uuid:pc</a:Address></a:EndpointReference>'
        '<d:Types xmlns:wsdp="http://schemas.xmlsoap.org/ws/2006/02/devprof">wsdp:Device</d:Types></d:Hello>'))
    write(t, "bye.xml", envelope("<d:Bye><a:EndpointReference><a:Address>urn:uuid:c1</a:Address>"
                                 "</a:EndpointReference></d:Bye>"))
    write(t, "fault.xml", envelope("<s:Fault><s:Code><s:Value>s:Sender</s:Value></s:Code></s:Fault>"))
    write(t, "probe.xml", envelope('<d:Probe><d:Types xmlns:dn="' + DN + '">dn:NetworkVideoTransmitter</d:Types>'
                                   "</d:Probe>"))
    write(t, "undeclared-prefix.xml", envelope("<d:Hello><x:EndpointReference/></d:Hello>"))
    write(t, "doctype.xml", '<!DOCTYPE s [<!ENTITY e "x">]>' + envelope("&e;"))
    write(t, "many-matches.xml", envelope("<d:ProbeMatches>" + "".join(
        "<d:ProbeMatch>" + target("a", "d", f"urn:uuid:{i}", "dn:NetworkVideoTransmitter",
                                  f"http://10.1.{i}.5/onvif/device_service", scopes) + "</d:ProbeMatch>"
        for i in range(8)) + "</d:ProbeMatches>"))
    write(t, "junk", b"\x00\x01\xff<s:Envelope")


def onvif_soap():
    t = "onvif_soap"

    def reply(content, env="SOAP-ENV", tds="tds", tt="tt"):
        return (f'<{env}:Envelope xmlns:{env}="{SOAP12}" xmlns:{tds}="{TDS}" xmlns:{tt}="{TT}" '
                f'xmlns:ter="http://www.onvif.org/ver10/error"><{env}:Body>{content}</{env}:Body></{env}:Envelope>')

    write(t, "date-time.xml", reply(
        "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:UTCDateTime><tt:Time><tt:Hour>7</tt:Hour>"
        "<tt:Minute>50</tt:Minute><tt:Second>45</tt:Second></tt:Time><tt:Date><tt:Year>2010</tt:Year>"
        "<tt:Month>9</tt:Month><tt:Day>16</tt:Day></tt:Date></tt:UTCDateTime></tds:SystemDateAndTime>"
        "</tds:GetSystemDateAndTimeResponse>"))
    write(t, "device-information.xml", reply(
        "<ns2:GetDeviceInformationResponse><ns2:Manufacturer>M</ns2:Manufacturer><ns2:Model>X</ns2:Model>"
        "<ns2:FirmwareVersion>1.2</ns2:FirmwareVersion><ns2:SerialNumber>S</ns2:SerialNumber>"
        "<ns2:HardwareId>H</ns2:HardwareId></ns2:GetDeviceInformationResponse>", env="env", tds="ns2", tt="ns3"))
    write(t, "network-interfaces.xml", reply(
        '<tds:GetNetworkInterfacesResponse><tds:NetworkInterfaces token="eth0"><tt:Info>'
        "<tt:HwAddress>00:11:22:aa:bb:cc</tt:HwAddress></tt:Info></tds:NetworkInterfaces>"
        "</tds:GetNetworkInterfacesResponse>"))
    write(t, "fault.xml", reply(
        "<SOAP-ENV:Fault><SOAP-ENV:Code><SOAP-ENV:Value>SOAP-ENV:Sender</SOAP-ENV:Value><SOAP-ENV:Subcode>"
        "<SOAP-ENV:Value>ter:NotAuthorized</SOAP-ENV:Value></SOAP-ENV:Subcode></SOAP-ENV:Code>"
        "<SOAP-ENV:Reason><SOAP-ENV:Text>no</SOAP-ENV:Text></SOAP-ENV:Reason></SOAP-ENV:Fault>"))
    write(t, "soap11-fault.xml",
          '<e:Envelope xmlns:e="http://schemas.xmlsoap.org/soap/envelope/"><e:Body><e:Fault>'
          "<faultcode>e:Client</faultcode><faultstring>bad</faultstring></e:Fault></e:Body></e:Envelope>")
    write(t, "bad-date.xml", reply(
        "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:UTCDateTime><tt:Time><tt:Hour>99</tt:Hour>"
        "</tt:Time></tt:UTCDateTime></tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>"))
    write(t, "html", "<html><body>401 Unauthorized</body></html>")


def sim_onvif():
    t = "sim_onvif"
    nonce = bytes(range(16))
    created = "2023-11-14T22:13:20.000Z"
    digest = base64.b64encode(hashlib.sha1(nonce + created.encode() + b"739164").digest()).decode()
    body = (f'<s:Envelope xmlns:s="{SOAP12}" xmlns:tds="{TDS}"><s:Header><wsse:Security '
            'xmlns:wsse="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd" '
            'xmlns:wsu="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd">'
            "<wsse:UsernameToken><wsse:Username>admin</wsse:Username><wsse:Password "
            'Type="http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest">'
            f"{digest}</wsse:Password><wsse:Nonce>{base64.b64encode(nonce).decode()}</wsse:Nonce>"
            f"<wsu:Created>{created}</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>"
            "<s:Body><tds:GetDeviceInformation/></s:Body></s:Envelope>")
    head = ("POST /onvif/device_service HTTP/1.1\r\nHost: 10.1.0.5\r\n"
            "Content-Type: application/soap+xml; charset=utf-8\r\nContent-Length: %d\r\n\r\n")
    write(t, "signed-request", head % len(body) + body)
    plain = f'<s:Envelope xmlns:s="{SOAP12}" xmlns:tds="{TDS}"><s:Body><tds:GetSystemDateAndTime/></s:Body></s:Envelope>'
    write(t, "date-time-request", head % len(plain) + plain)
    write(t, "digest-header",
          'Digest username="admin", realm="camsim", nonce="abc1", uri="/onvif/device_service", '
          'qop=auth, nc=00000001, cnonce="x", response="0123", algorithm=SHA-256')
    write(t, "chunked", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n")
    write(t, "huge-length", "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n")


if __name__ == "__main__":
    markup()
    lanscout()
    link()
    session()
    sim_login()
    sim_upgrade()
    sim_base64()
    fac()
    upgrade_package()
    device_info()
    onvif_discovery()
    onvif_soap()
    sim_onvif()
