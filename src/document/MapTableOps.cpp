#include "document/MapTableOps.h"

#include <strings.h>

#include "document/Encrypt.h"
#include "document/Utf8.h"
#include "platform/Strings.h"

namespace {

constexpr uint32_t kBroadcast = 0xFFFFFFFF;

bool ValidIndex(const CQOBDoc& doc, int index) {
    return index >= 0 && static_cast<size_t>(index) < doc.m_sites.size();
}

bool HasControlCharacter(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

bool IsBlank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// The values as they will be stored (cut to the fields) must survive the configuration file.
bool Storable(const SiteEditValues& v) {
    return IsStorableText(v.Name.substr(0, kMaxSiteName)) && IsStorableText(v.MBAccount.substr(0, kMaxMBAccount)) &&
           IsStorableSecret(v.MBPassword.substr(0, kMaxMBPassword));
}

// A name's own rules, as it will be stored.
MapEditResult CheckName(const std::string& name) {
    const std::string stored = name.substr(0, kMaxSiteName);
    if (IsBlank(stored)) return MapEditResult::BlankName;
    if (HasControlCharacter(stored)) return MapEditResult::ControlCharacter;
    return MapEditResult::Changed;
}

// Whether a site other than `self` (-1: none) has the name, ignoring case.
bool NameTaken(const CQOBDoc& doc, const std::string& name, int self) {
    const std::string stored = name.substr(0, kMaxSiteName);
    for (size_t i = 0; i < doc.m_sites.size(); ++i)
        if (static_cast<int>(i) != self && strcasecmp(doc.m_sites[i].Name.c_str(), stored.c_str()) == 0) return true;
    return false;
}

MapEditResult CheckIP(const CQOBDoc& doc, uint32_t ip, int self) {
    if (ip == 0) return MapEditResult::BlankIP;
    if (ip == kBroadcast) return MapEditResult::BroadcastIP;
    for (size_t i = 0; i < doc.m_sites.size(); ++i)
        if (static_cast<int>(i) != self && doc.m_sites[i].IP == ip) return MapEditResult::DuplicateIP;
    return MapEditResult::Changed;
}

void StoreValues(SiteRec& site, const SiteEditValues& v) {
    site.IP = v.IP;
    SetField(site.Name, v.Name, kMaxSiteName);
    SetField(site.MBAccount, v.MBAccount, kMaxMBAccount);
    SetField(site.MBPassword, v.MBPassword, kMaxMBPassword);
}

}  // namespace

std::string MapEditMessage(MapEditResult result) {
    switch (result) {
        case MapEditResult::DuplicateIP: return platform::LoadString(44613);
        case MapEditResult::InvalidSelection: return platform::LoadString(44615);
        case MapEditResult::NoSuchRoute: return platform::LoadString(46002);
        case MapEditResult::UnstorableText: return platform::LoadString(46001);
        case MapEditResult::BlankName: return platform::LoadString(44605);
        case MapEditResult::DuplicateName: return platform::LoadString(46012);
        case MapEditResult::ControlCharacter: return platform::LoadString(46013);
        case MapEditResult::BlankIP: return platform::LoadString(44606);
        case MapEditResult::BroadcastIP: return platform::LoadString(46014);
        case MapEditResult::Changed:
        case MapEditResult::Unchanged: break;
    }
    return std::string();
}

MapEditResult MapAddSite(CQOBDoc& doc, const SiteEditValues& values) {
    // The name first, then the address, as the server edit dialog checks them.
    if (const MapEditResult r = CheckName(values.Name); r != MapEditResult::Changed) return r;
    if (const MapEditResult r = CheckIP(doc, values.IP, -1); r != MapEditResult::Changed) return r;
    if (NameTaken(doc, values.Name, -1)) return MapEditResult::DuplicateName;
    if (!Storable(values)) return MapEditResult::UnstorableText;
    SiteRec site;
    StoreValues(site, values);
    site.Routes.reserve(doc.m_sites.size());
    for (SiteRec& other : doc.m_sites) {
        site.Routes.push_back(MapEntry{other.Name, {}, {}});
        other.Routes.push_back(MapEntry{site.Name, {}, {}});
    }
    doc.m_sites.push_back(std::move(site));
    return MapEditResult::Changed;
}

MapEditResult MapEditSite(CQOBDoc& doc, int index, const SiteEditValues& values) {
    if (!ValidIndex(doc, index)) return MapEditResult::InvalidSelection;
    SiteRec& site = doc.m_sites[index];
    if (site.Name == values.Name && site.IP == values.IP && site.MBAccount == values.MBAccount &&
        site.MBPassword == values.MBPassword)
        return MapEditResult::Unchanged;
    const bool renamed = site.Name != values.Name.substr(0, kMaxSiteName);
    if (renamed)
        if (const MapEditResult r = CheckName(values.Name); r != MapEditResult::Changed) return r;
    if (site.IP != values.IP)
        if (const MapEditResult r = CheckIP(doc, values.IP, index); r != MapEditResult::Changed) return r;
    if (renamed && NameTaken(doc, values.Name, index)) return MapEditResult::DuplicateName;
    if (!Storable(values)) return MapEditResult::UnstorableText;
    const std::string oldName = site.Name;
    for (SiteRec& other : doc.m_sites) {
        for (MapEntry& e : other.Routes) {
            if (e.Name == oldName) {
                SetField(e.Name, values.Name, kMaxSiteName);
                break;
            }
        }
    }
    StoreValues(site, values);
    return MapEditResult::Changed;
}

MapEditResult MapRemoveSite(CQOBDoc& doc, int index) {
    if (!ValidIndex(doc, index)) return MapEditResult::InvalidSelection;
    const std::string name = doc.m_sites[index].Name;
    doc.m_sites.erase(doc.m_sites.begin() + index);
    for (SiteRec& other : doc.m_sites) {
        for (auto it = other.Routes.begin(); it != other.Routes.end(); ++it) {
            if (it->Name == name) {
                other.Routes.erase(it);
                break;
            }
        }
    }
    return MapEditResult::Changed;
}

MapEditResult MapSetRouteCell(CQOBDoc& doc, int fromIndex, const std::string& toName, RouteColumn column,
                              const std::string& value, bool* modified) {
    if (modified) *modified = false;
    if (!ValidIndex(doc, fromIndex)) return MapEditResult::InvalidSelection;
    const size_t max = column == RouteColumn::MailSuffix ? kMaxVMAPostfix : kMaxFwdPattern;
    if (HasControlCharacter(value.substr(0, max))) return MapEditResult::ControlCharacter;
    if (!IsStorableText(value.substr(0, max))) return MapEditResult::UnstorableText;
    SiteRec& from = doc.m_sites[fromIndex];
    MapEntry* entry = nullptr;
    for (MapEntry& e : from.Routes) {
        if (strcasecmp(e.Name.c_str(), toName.c_str()) == 0) {
            entry = &e;
            break;
        }
    }
    if (!entry) return MapEditResult::NoSuchRoute;
    const int to = doc.GetSiteIndex(toName);
    std::string& cell = column == RouteColumn::MailSuffix ? entry->VMAPostfix : entry->FwdPattern;
    const bool changed = cell != value.substr(0, max);
    SetField(cell, value, max);
    if (to >= 0) {
        SiteRec& target = doc.m_sites[to];
        if (column == RouteColumn::MailSuffix) SetField(target.VMATempl, value, kMaxVMATempl);
        else SetField(target.FWDTempl, value, kMaxFWDTempl);
    }
    if (modified) *modified = changed;
    return changed ? MapEditResult::Changed : MapEditResult::Unchanged;
}

std::string MapProposeCellText(const CQOBDoc& doc, const std::string& toName, RouteColumn column,
                               const std::string& cellText) {
    const size_t firstNonBlank = cellText.find_first_not_of(' ');
    if (firstNonBlank != std::string::npos) return cellText;
    const int to = doc.GetSiteIndex(toName);
    if (to < 0) return std::string();
    const SiteRec& site = doc.m_sites[to];
    return column == RouteColumn::MailSuffix ? site.VMATempl : site.FWDTempl;
}
