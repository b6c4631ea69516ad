#include "common/platform/NetlinkConfig.h"

#include <arpa/inet.h>
#include <linux/rtnetlink.h>
#include <netlink/addr.h>
#include <netlink/errno.h>
#include <netlink/netlink.h>
#include <netlink/route/addr.h>
#include <netlink/route/nexthop.h>
#include <netlink/route/route.h>
#include <netlink/socket.h>

#include <memory>
#include <string>

#include "common/platform/Diagnostics.h"

namespace platform {
namespace {

struct SockFree {
    void operator()(nl_sock* sock) const { nl_socket_free(sock); }
};
struct AddrPut {
    void operator()(nl_addr* addr) const { nl_addr_put(addr); }
};
struct RtAddrPut {
    void operator()(rtnl_addr* addr) const { rtnl_addr_put(addr); }
};
struct RoutePut {
    void operator()(rtnl_route* route) const { rtnl_route_put(route); }
};
using SockPtr = std::unique_ptr<nl_sock, SockFree>;
using AddrPtr = std::unique_ptr<nl_addr, AddrPut>;
using RtAddrPtr = std::unique_ptr<rtnl_addr, RtAddrPut>;
using RoutePtr = std::unique_ptr<rtnl_route, RoutePut>;

int ToNetResult(int nlError) {
    switch (nlError < 0 ? -nlError : nlError) {
        case 0:
            return kNetOk;
        case NLE_EXIST:
            return kNetAlreadyExists;
        case NLE_NODEV:
        case NLE_OBJ_NOTFOUND:
            return kNetNoSuchAdapter;
        case NLE_PERM:
        case NLE_NOACCESS:
            return kNetPermissionDenied;
        case NLE_NOMEM:
            return kNetOutOfMemory;
        case NLE_INVAL:
        case NLE_RANGE:
        case NLE_NOADDR:
            return kNetInvalidArgument;
        default:
            return kNetSystemError;
    }
}

int Fail(const char* what, int nlError) {
    DiagPrintf("netlink %s failed: %s\n", what, nl_geterror(nlError));
    return ToNetResult(nlError);
}

// Opens a connected routing netlink socket; null on failure, with *result set.
SockPtr OpenRouteSocket(int* result) {
    SockPtr sock(nl_socket_alloc());
    if (!sock) {
        *result = kNetOutOfMemory;
        return nullptr;
    }
    const int rc = nl_connect(sock.get(), NETLINK_ROUTE);
    if (rc < 0) {
        *result = Fail("connect", rc);
        return nullptr;
    }
    *result = kNetOk;
    return sock;
}

AddrPtr BuildIPv4(uint32_t address, int prefixLength) {
    AddrPtr addr(nl_addr_build(AF_INET, &address, sizeof address));
    if (addr) {
        nl_addr_set_prefixlen(addr.get(), prefixLength);
    }
    return addr;
}

}  // namespace

int NetlinkAddIPv4Address(uint32_t ifIndex, uint32_t address, int prefixLength) {
    if (ifIndex == 0 || address == 0 || prefixLength <= 0 || prefixLength > 32) {
        return kNetInvalidArgument;
    }
    int result = kNetOk;
    SockPtr sock = OpenRouteSocket(&result);
    if (!sock) {
        return result;
    }
    RtAddrPtr entry(rtnl_addr_alloc());
    AddrPtr local = BuildIPv4(address, prefixLength);
    if (!entry || !local) {
        return kNetOutOfMemory;
    }
    rtnl_addr_set_ifindex(entry.get(), static_cast<int>(ifIndex));
    int rc = rtnl_addr_set_local(entry.get(), local.get());
    if (rc < 0) {
        return Fail("address", rc);
    }
    if (prefixLength <= 30) {
        // The subnet's broadcast address, as a system tool would set it.
        const uint32_t broadcast = address | ~PrefixLengthToMask(prefixLength);
        AddrPtr brd = BuildIPv4(broadcast, prefixLength);
        if (!brd) {
            return kNetOutOfMemory;
        }
        rc = rtnl_addr_set_broadcast(entry.get(), brd.get());
        if (rc < 0) {
            return Fail("broadcast", rc);
        }
    }
    // NLM_F_EXCL: an address that is already there is reported, not replaced.
    rc = rtnl_addr_add(sock.get(), entry.get(), NLM_F_EXCL);
    if (rc < 0) {
        return Fail("add address", rc);
    }
    return kNetOk;
}

int NetlinkAddIPv4Route(const Ipv4Route& route) {
    if (route.ifIndex == 0 || route.prefixLength < 0 || route.prefixLength > 32) {
        return kNetInvalidArgument;
    }
    int result = kNetOk;
    SockPtr sock = OpenRouteSocket(&result);
    if (!sock) {
        return result;
    }
    RoutePtr entry(rtnl_route_alloc());
    AddrPtr destination = BuildIPv4(route.destination, route.prefixLength);
    if (!entry || !destination) {
        return kNetOutOfMemory;
    }
    rtnl_route_set_family(entry.get(), AF_INET);
    rtnl_route_set_table(entry.get(), RT_TABLE_MAIN);
    rtnl_route_set_protocol(entry.get(), RTPROT_STATIC);
    rtnl_route_set_type(entry.get(), RTN_UNICAST);
    rtnl_route_set_scope(entry.get(), route.gateway == 0 ? RT_SCOPE_LINK : RT_SCOPE_UNIVERSE);
    if (route.metric != 0) {
        rtnl_route_set_priority(entry.get(), route.metric);
    }
    int rc = rtnl_route_set_dst(entry.get(), destination.get());
    if (rc < 0) {
        return Fail("route destination", rc);
    }
    rtnl_nexthop* hop = rtnl_route_nh_alloc();
    if (hop == nullptr) {
        return kNetOutOfMemory;
    }
    rtnl_route_nh_set_ifindex(hop, static_cast<int>(route.ifIndex));
    if (route.gateway != 0) {
        AddrPtr gateway = BuildIPv4(route.gateway, 32);
        if (!gateway) {
            rtnl_route_nh_free(hop);
            return kNetOutOfMemory;
        }
        rtnl_route_nh_set_gateway(hop, gateway.get());
    }
    // The route owns the next hop from here on.
    rtnl_route_add_nexthop(entry.get(), hop);
    rc = rtnl_route_add(sock.get(), entry.get(), NLM_F_EXCL);
    if (rc < 0) {
        return Fail("add route", rc);
    }
    return kNetOk;
}

}  // namespace platform
