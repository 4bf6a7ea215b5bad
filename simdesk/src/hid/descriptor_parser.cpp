#include "hid/descriptor_parser.h"

#include <algorithm>
#include <map>
#include <utility>

namespace simdesk::hid {
namespace {

enum class ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2, kReserved = 3 };

namespace main_tag {
constexpr std::uint8_t kInput = 0x8;
constexpr std::uint8_t kOutput = 0x9;
constexpr std::uint8_t kCollection = 0xA;
constexpr std::uint8_t kFeature = 0xB;
constexpr std::uint8_t kEndCollection = 0xC;
}  // namespace main_tag

namespace global_tag {
constexpr std::uint8_t kUsagePage = 0x0;
constexpr std::uint8_t kLogicalMin = 0x1;
constexpr std::uint8_t kLogicalMax = 0x2;
constexpr std::uint8_t kPhysicalMin = 0x3;
constexpr std::uint8_t kPhysicalMax = 0x4;
constexpr std::uint8_t kUnitExponent = 0x5;
constexpr std::uint8_t kUnit = 0x6;
constexpr std::uint8_t kReportSize = 0x7;
constexpr std::uint8_t kReportId = 0x8;
constexpr std::uint8_t kReportCount = 0x9;
constexpr std::uint8_t kPush = 0xA;
constexpr std::uint8_t kPop = 0xB;
}  // namespace global_tag

namespace local_tag {
constexpr std::uint8_t kUsage = 0x0;
constexpr std::uint8_t kUsageMin = 0x1;
constexpr std::uint8_t kUsageMax = 0x2;
constexpr std::uint8_t kDesignatorIndex = 0x3;
constexpr std::uint8_t kDesignatorMin = 0x4;
constexpr std::uint8_t kDesignatorMax = 0x5;
constexpr std::uint8_t kStringIndex = 0x7;
constexpr std::uint8_t kStringMin = 0x8;
constexpr std::uint8_t kStringMax = 0x9;
}  // namespace local_tag

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::uint32_t kFlagConstant = 0x01;
constexpr std::uint32_t kFlagVariable = 0x02;
constexpr std::uint32_t kFlagRelative = 0x04;
constexpr std::uint32_t kFlagNullState = 0x40;
constexpr std::uint32_t kMaxReportSize = 32;
// A report's byte length, ID byte included, must fit HIDP_CAPS' 16-bit fields.
constexpr std::uint32_t kMaxReportBits = (0xFFFF - 1) * 8;
constexpr std::uint32_t kMaxReportCount = 0xFFFF;

// An item's data as written: the value and how many bytes carried it, so that it
// can be read signed or unsigned later.
struct RawValue {
    std::uint32_t bits = 0;
    std::uint8_t size = 0;

    std::uint32_t Unsigned() const { return bits; }
    LONG Signed() const {
        switch (size) {
            case 1:
                return static_cast<std::int8_t>(bits);
            case 2:
                return static_cast<std::int16_t>(bits);
            default:
                return static_cast<LONG>(bits);
        }
    }
};

struct GlobalState {
    USAGE usagePage = 0;
    RawValue logicalMin, logicalMax, physicalMin, physicalMax;
    ULONG unitExponent = 0;
    ULONG unit = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportId = 0;
    std::uint32_t reportCount = 0;
};

struct UsageEntry {
    USAGE page = 0;
    bool hasPage = false;  // a 4-byte usage names its own page
    USAGE min = 0;
    USAGE max = 0;
    bool isRange = false;
};

struct LocalState {
    std::vector<UsageEntry> usages;
    std::optional<std::pair<std::uint32_t, std::uint8_t>> pendingMin, pendingMax;
    USHORT stringMin = 0, stringMax = 0, designatorMin = 0, designatorMax = 0;
    bool stringRange = false, designatorRange = false;
};

UsageEntry MakeEntry(std::uint32_t value, std::uint8_t size) {
    UsageEntry entry;
    entry.min = entry.max = static_cast<USAGE>(value & 0xFFFF);
    if (size == 4) {
        entry.page = static_cast<USAGE>(value >> 16);
        entry.hasPage = true;
    }
    return entry;
}

class Parser {
  public:
    ParseResult Run(std::span<const std::uint8_t> bytes) {
        std::size_t pos = 0;
        while (pos < bytes.size() && result_.error.empty()) {
            const std::uint8_t prefix = bytes[pos];
            if (prefix == kLongItemPrefix) {
                if (pos + 1 >= bytes.size()) {
                    SetError("truncated long item");
                    break;
                }
                pos += 3u + bytes[pos + 1];
                continue;
            }
            static constexpr std::uint8_t kSizes[] = {0, 1, 2, 4};
            const std::uint8_t size = kSizes[prefix & 0x3];
            if (pos + 1 + size > bytes.size()) {
                SetError("truncated item");
                break;
            }
            RawValue value{0, size};
            for (std::uint8_t i = 0; i < size; ++i)
                value.bits |= static_cast<std::uint32_t>(bytes[pos + 1 + i]) << (8 * i);
            const auto type = static_cast<ItemType>((prefix >> 2) & 0x3);
            const std::uint8_t tag = prefix >> 4;
            switch (type) {
                case ItemType::kMain:
                    Main(tag, value);
                    break;
                case ItemType::kGlobal:
                    Global(tag, value);
                    break;
                case ItemType::kLocal:
                    Local(tag, value);
                    break;
                case ItemType::kReserved:
                    break;
            }
            pos += 1u + size;
        }
        if (!stack_.empty())
            SetError("unterminated collection");
        if (!result_.error.empty())
            result_.collections.clear();
        return std::move(result_);
    }

  private:
    void SetError(const char* message) {
        if (result_.error.empty())
            result_.error = message;
    }

    void Global(std::uint8_t tag, RawValue value) {
        switch (tag) {
            case global_tag::kUsagePage:
                global_.usagePage = static_cast<USAGE>(value.bits);
                break;
            case global_tag::kLogicalMin:
                global_.logicalMin = value;
                break;
            case global_tag::kLogicalMax:
                global_.logicalMax = value;
                break;
            case global_tag::kPhysicalMin:
                global_.physicalMin = value;
                break;
            case global_tag::kPhysicalMax:
                global_.physicalMax = value;
                break;
            case global_tag::kUnitExponent:
                global_.unitExponent = value.bits;
                break;
            case global_tag::kUnit:
                global_.unit = value.bits;
                break;
            case global_tag::kReportSize:
                global_.reportSize = value.bits;
                break;
            case global_tag::kReportId:
                if (value.bits == 0 || value.bits > 0xFF)
                    SetError("report ID out of range");
                global_.reportId = value.bits;
                break;
            case global_tag::kReportCount:
                global_.reportCount = value.bits;
                break;
            case global_tag::kPush:
                globalStack_.push_back(global_);
                break;
            case global_tag::kPop:
                if (globalStack_.empty()) {
                    SetError("pop without push");
                    break;
                }
                global_ = globalStack_.back();
                globalStack_.pop_back();
                break;
            default:
                break;
        }
    }

    void Local(std::uint8_t tag, RawValue value) {
        switch (tag) {
            case local_tag::kUsage:
                local_.usages.push_back(MakeEntry(value.bits, value.size));
                break;
            case local_tag::kUsageMin:
                local_.pendingMin = std::make_pair(value.bits, value.size);
                CompleteRange();
                break;
            case local_tag::kUsageMax:
                local_.pendingMax = std::make_pair(value.bits, value.size);
                CompleteRange();
                break;
            case local_tag::kStringIndex:
                local_.stringMin = local_.stringMax = static_cast<USHORT>(value.bits);
                break;
            case local_tag::kStringMin:
                local_.stringMin = static_cast<USHORT>(value.bits);
                local_.stringRange = true;
                break;
            case local_tag::kStringMax:
                local_.stringMax = static_cast<USHORT>(value.bits);
                local_.stringRange = true;
                break;
            case local_tag::kDesignatorIndex:
                local_.designatorMin = local_.designatorMax = static_cast<USHORT>(value.bits);
                break;
            case local_tag::kDesignatorMin:
                local_.designatorMin = static_cast<USHORT>(value.bits);
                local_.designatorRange = true;
                break;
            case local_tag::kDesignatorMax:
                local_.designatorMax = static_cast<USHORT>(value.bits);
                local_.designatorRange = true;
                break;
            default:
                break;  // delimiters: aliases are not modelled
        }
    }

    void CompleteRange() {
        if (!local_.pendingMin || !local_.pendingMax)
            return;
        UsageEntry entry = MakeEntry(local_.pendingMin->first, local_.pendingMin->second);
        entry.max = static_cast<USAGE>(local_.pendingMax->first & 0xFFFF);
        if (entry.max < entry.min)
            std::swap(entry.min, entry.max);
        entry.isRange = true;
        local_.usages.push_back(entry);
        local_.pendingMin.reset();
        local_.pendingMax.reset();
    }

    void Main(std::uint8_t tag, RawValue value) {
        switch (tag) {
            case main_tag::kCollection:
                BeginCollection(value);
                break;
            case main_tag::kEndCollection:
                EndCollection();
                break;
            case main_tag::kInput:
                Field(HidP_Input, value.bits);
                break;
            case main_tag::kOutput:
                Field(HidP_Output, value.bits);
                break;
            case main_tag::kFeature:
                Field(HidP_Feature, value.bits);
                break;
            default:
                break;
        }
        local_ = LocalState{};
    }

    USAGE PageOf(const UsageEntry& entry) const {
        return entry.hasPage ? entry.page : global_.usagePage;
    }

    void BeginCollection(RawValue type) {
        if (stack_.empty()) {
            result_.collections.emplace_back();
            reportBits_.clear();
            ParsedCollection& top = result_.collections.back();
            if (!local_.usages.empty()) {
                top.usage = local_.usages.front().min;
                top.usagePage = PageOf(local_.usages.front());
            }
        }
        ParsedCollection& current = result_.collections.back();
        LinkNode node;
        if (!local_.usages.empty()) {
            node.linkUsage = local_.usages.front().min;
            node.linkUsagePage = PageOf(local_.usages.front());
        }
        node.collectionType = static_cast<UCHAR>(type.bits);
        const auto index = static_cast<USHORT>(current.links.size());
        if (!stack_.empty()) {
            LinkNode& parent = current.links[stack_.back()];
            node.parent = stack_.back();
            node.nextSibling = parent.firstChild;
            parent.firstChild = index;
            ++parent.numberOfChildren;
        }
        current.links.push_back(node);
        stack_.push_back(index);
    }

    void EndCollection() {
        if (stack_.empty()) {
            SetError("end collection without collection");
            return;
        }
        stack_.pop_back();
        if (stack_.empty())
            Finish(result_.collections.back());
    }

    void Field(HIDP_REPORT_TYPE type, std::uint32_t flags) {
        if (stack_.empty()) {
            SetError("main item outside a collection");
            return;
        }
        if (global_.reportCount > kMaxReportCount) {
            SetError("report count too large");
            return;
        }
        if (global_.reportSize > kMaxReportSize && (flags & kFlagConstant) == 0) {
            SetError("report size too large");
            return;
        }
        ParsedCollection& collection = result_.collections.back();
        ReportTypeData& data = collection.types[type];
        const auto reportId = static_cast<UCHAR>(global_.reportId);
        if (std::find(data.reportIds.begin(), data.reportIds.end(), reportId) ==
            data.reportIds.end())
            data.reportIds.push_back(reportId);
        std::uint32_t& offset = reportBits_[{type, reportId}];
        const std::uint32_t start = offset;
        const std::uint64_t total =
            static_cast<std::uint64_t>(global_.reportSize) * global_.reportCount;
        if (start + total > kMaxReportBits) {
            SetError("report too long");
            return;
        }
        offset = start + static_cast<std::uint32_t>(total);

        const bool constant = (flags & kFlagConstant) != 0;
        // A constant field wider than any cap can describe stays padding, usages or not:
        // no HidP routine reads or writes more than 32 bits of one field.
        if (constant && global_.reportSize > kMaxReportSize)
            return;
        if (local_.usages.empty()) {
            if (constant || total == 0)
                return;  // padding
            local_.usages.push_back(UsageEntry{});
        }
        if (total == 0)
            return;

        Cap base;
        base.reportId = reportId;
        base.isAbsolute = (flags & kFlagRelative) == 0;
        base.bitField = static_cast<USHORT>(flags);
        base.linkCollection = stack_.back();
        base.linkUsage = collection.links[stack_.back()].linkUsage;
        base.linkUsagePage = collection.links[stack_.back()].linkUsagePage;
        base.bitSize = static_cast<USHORT>(global_.reportSize);
        base.stringMin = local_.stringMin;
        base.stringMax = local_.stringMax;
        base.designatorMin = local_.designatorMin;
        base.designatorMax = local_.designatorMax;

        std::vector<Cap> made;
        if ((flags & kFlagVariable) != 0)
            Variable(base, start, made);
        else
            Array(base, start, made);
        // Windows stores the caps of one main item last usage first.
        data.caps.insert(data.caps.end(), made.rbegin(), made.rend());
    }

    static void Place(Cap& cap, std::uint32_t bit) {
        cap.bytePosition = static_cast<USHORT>(1 + bit / 8);
        cap.bitPosition = static_cast<USHORT>(bit % 8);
    }

    void Variable(const Cap& base, std::uint32_t start, std::vector<Cap>& made) {
        std::uint32_t remaining = global_.reportCount;
        std::uint32_t bit = start;
        for (std::size_t i = 0; i < local_.usages.size() && remaining > 0; ++i) {
            const UsageEntry& entry = local_.usages[i];
            const bool last = i + 1 == local_.usages.size();
            const std::uint32_t wanted =
                entry.isRange ? static_cast<std::uint32_t>(entry.max - entry.min) + 1 : 1;
            const std::uint32_t count = last ? remaining : std::min(wanted, remaining);
            Cap cap = base;
            cap.usagePage = PageOf(entry);
            cap.isRange = entry.isRange;
            cap.usageMin = entry.min;
            cap.usageMax = entry.max;
            cap.reportCount = static_cast<USHORT>(count);
            cap.isButton = global_.reportSize == 1;
            if (!cap.isButton) {
                cap.hasNull = (base.bitField & kFlagNullState) != 0;
                cap.logicalMin = global_.logicalMin.Signed();
                cap.logicalMax = global_.logicalMax.Signed();
                cap.physicalMin = global_.physicalMin.Signed();
                cap.physicalMax = global_.physicalMax.Signed();
                cap.units = global_.unit;
                cap.unitsExp = global_.unitExponent;
            }
            Place(cap, bit);
            made.push_back(cap);
            bit += count * global_.reportSize;
            remaining -= count;
        }
    }

    void Array(const Cap& base, std::uint32_t start, std::vector<Cap>& made) {
        const LONG logicalMin = global_.logicalMin.Signed();
        // A non-negative minimum makes the maximum an unsigned index bound.
        const LONG logicalMax = logicalMin >= 0 ? static_cast<LONG>(global_.logicalMax.Unsigned())
                                                : global_.logicalMax.Signed();
        std::uint32_t indexBase = 0;
        for (std::size_t i = 0; i < local_.usages.size(); ++i) {
            const UsageEntry& entry = local_.usages[i];
            Cap cap = base;
            cap.usagePage = PageOf(entry);
            cap.isButton = true;
            cap.isArray = true;
            cap.isRange = entry.isRange;
            cap.usageMin = entry.min;
            cap.usageMax = entry.max;
            cap.reportCount = static_cast<USHORT>(global_.reportCount);
            cap.logicalMin = logicalMin;
            cap.logicalMax = logicalMax;
            cap.isMultipleItemsForArray = i > 0;
            cap.arrayIndexBase = static_cast<USHORT>(indexBase);
            indexBase += cap.UsageCount();
            Place(cap, start);
            made.push_back(cap);
        }
    }

    void Finish(ParsedCollection& collection) {
        for (int type = 0; type < kReportTypeCount; ++type) {
            ReportTypeData& data = collection.types[type];
            std::uint32_t longest = 0;
            bool any = false;
            for (const auto& [key, bits] : reportBits_) {
                if (key.first != type)
                    continue;
                any = true;
                longest = std::max(longest, (bits + 7) / 8);
            }
            // The report ID byte counts even for a device without report IDs.
            data.byteLength = any ? static_cast<USHORT>(longest + 1) : 0;
            // Data indices follow cap order, except that the usages of one Array
            // item keep their declared order (its caps are listed last-first).
            USHORT dataIndex = 0;
            auto assign = [&dataIndex](Cap& cap) {
                cap.dataIndexMin = dataIndex;
                dataIndex = static_cast<USHORT>(dataIndex + (cap.isRange ? cap.UsageCount() : 1));
                cap.dataIndexMax = static_cast<USHORT>(dataIndex - 1);
            };
            for (std::size_t i = 0; i < data.caps.size();) {
                std::size_t end = i;
                while (end + 1 < data.caps.size() && data.caps[end].isMultipleItemsForArray)
                    ++end;
                for (std::size_t j = end + 1; j-- > i;)
                    assign(data.caps[j]);
                i = end + 1;
            }
        }
    }

    ParseResult result_;
    GlobalState global_;
    std::vector<GlobalState> globalStack_;
    LocalState local_;
    std::vector<USHORT> stack_;  // link collection indices, innermost last
    std::map<std::pair<int, UCHAR>, std::uint32_t> reportBits_;
};

}  // namespace

ParseResult ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    return Parser{}.Run(descriptor);
}

}  // namespace simdesk::hid
