// The Basler-make camera library, served by the virtual camera.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/vendor/Pylon.h"
#include "sim/VirtualCamera.h"

using GenApi::EAccessMode;
using GenICam::gcstring;

namespace {

sim::VirtualCamera& Camera() { return sim::VirtualCamera::Instance(); }

std::atomic<int> g_runtimeStarts{0};

// A node of the virtual camera; readable and writable only while the device
// is open, as a closed camera's node map has no live values.
class NodeBase : public virtual GenApi::INode {
public:
    NodeBase(std::string name, EAccessMode openMode, const bool* open)
        : m_name(std::move(name)), m_openMode(openMode), m_open(open) {}
    gcstring GetName() const override { return m_name; }
    EAccessMode GetAccessMode() const override { return *m_open ? m_openMode : GenApi::NA; }

protected:
    void CheckReadable() const {
        const EAccessMode mode = GetAccessMode();
        if (mode != GenApi::RO && mode != GenApi::RW) {
            throw GenICam::AccessException("Node is not readable : " + m_name);
        }
    }
    void CheckWritable() const {
        if (!GenApi::IsWritable(GetAccessMode())) {
            throw GenICam::AccessException("Node is not writable : " + m_name);
        }
    }
    static void CountWrite() {
        auto lock = Camera().Lock();
        ++Camera().State().counters.parameterWrites;
    }

    std::string m_name;
    EAccessMode m_openMode;
    const bool* m_open;
};

class IntegerNode : public NodeBase, public GenApi::IInteger {
public:
    using Getter = std::function<int64_t(sim::CameraDeviceState&)>;
    using Setter = std::function<void(sim::CameraDeviceState&, int64_t)>;
    IntegerNode(std::string name, EAccessMode mode, const bool* open, Getter get, Setter set, Getter min,
                Getter max)
        : NodeBase(std::move(name), mode, open), m_get(std::move(get)), m_set(std::move(set)),
          m_min(std::move(min)), m_max(std::move(max)) {}

    int64_t GetValue() override {
        CheckReadable();
        auto lock = Camera().Lock();
        return m_get(Camera().State());
    }
    void SetValue(int64_t value, bool) override {
        CheckWritable();
        {
            auto lock = Camera().Lock();
            auto& state = Camera().State();
            if (value < m_min(state) || value > m_max(state)) {
                throw GenICam::OutOfRangeException("Value = " + std::to_string(value) + " must be between " +
                                                   std::to_string(m_min(state)) + " and " +
                                                   std::to_string(m_max(state)) + " : " + m_name);
            }
            m_set(state, value);
        }
        CountWrite();
    }
    int64_t GetMin() override {
        CheckReadable();
        auto lock = Camera().Lock();
        return m_min(Camera().State());
    }
    int64_t GetMax() override {
        CheckReadable();
        auto lock = Camera().Lock();
        return m_max(Camera().State());
    }
    gcstring ToString() override { return std::to_string(GetValue()); }
    void FromString(const gcstring& value, bool verify) override {
        char* end = nullptr;
        const long long parsed = std::strtoll(value.c_str(), &end, 10);
        if (value.empty() || *end) throw GenICam::GenericException("Not an integer : " + value);
        SetValue(parsed, verify);
    }

private:
    Getter m_get;
    Setter m_set;
    Getter m_min, m_max;
};

class FloatNode : public NodeBase, public GenApi::IFloat {
public:
    using Getter = std::function<double(sim::CameraDeviceState&)>;
    using Setter = std::function<void(sim::CameraDeviceState&, double)>;
    FloatNode(std::string name, EAccessMode mode, const bool* open, Getter get, Setter set, double min, double max)
        : NodeBase(std::move(name), mode, open), m_get(std::move(get)), m_set(std::move(set)), m_min(min),
          m_max(max) {}

    double GetValue() override {
        CheckReadable();
        auto lock = Camera().Lock();
        return m_get(Camera().State());
    }
    void SetValue(double value, bool) override {
        CheckWritable();
        if (!(value >= m_min && value <= m_max)) {
            throw GenICam::OutOfRangeException("Value = " + std::to_string(value) + " must be between " +
                                               std::to_string(m_min) + " and " + std::to_string(m_max) + " : " +
                                               m_name);
        }
        {
            auto lock = Camera().Lock();
            m_set(Camera().State(), value);
        }
        CountWrite();
    }
    gcstring ToString() override { return std::to_string(GetValue()); }
    void FromString(const gcstring& value, bool verify) override {
        char* end = nullptr;
        const double parsed = std::strtod(value.c_str(), &end);
        if (value.empty() || *end) throw GenICam::GenericException("Not a number : " + value);
        SetValue(parsed, verify);
    }

private:
    Getter m_get;
    Setter m_set;
    double m_min, m_max;
};

class BooleanNode : public NodeBase, public GenApi::IBoolean {
public:
    using Getter = std::function<bool(sim::CameraDeviceState&)>;
    using Setter = std::function<void(sim::CameraDeviceState&, bool)>;
    BooleanNode(std::string name, EAccessMode mode, const bool* open, Getter get, Setter set)
        : NodeBase(std::move(name), mode, open), m_get(std::move(get)), m_set(std::move(set)) {}

    bool GetValue() override {
        CheckReadable();
        auto lock = Camera().Lock();
        return m_get(Camera().State());
    }
    void SetValue(bool value, bool) override {
        CheckWritable();
        {
            auto lock = Camera().Lock();
            m_set(Camera().State(), value);
        }
        CountWrite();
    }
    gcstring ToString() override { return GetValue() ? "1" : "0"; }
    void FromString(const gcstring& value, bool verify) override {
        if (value == "1" || value == "true") SetValue(true, verify);
        else if (value == "0" || value == "false") SetValue(false, verify);
        else throw GenICam::GenericException("Not a boolean : " + value);
    }

private:
    Getter m_get;
    Setter m_set;
};

class EnumEntryNode : public virtual GenApi::IEnumEntry {
public:
    EnumEntryNode(std::string symbol, EAccessMode mode) : m_symbol(std::move(symbol)), m_mode(mode) {}
    gcstring GetName() const override { return "EnumEntry_" + m_symbol; }
    EAccessMode GetAccessMode() const override { return m_mode; }
    gcstring GetSymbolic() const override { return m_symbol; }

private:
    std::string m_symbol;
    EAccessMode m_mode;
};

// An enumeration whose current entry is an index into its symbols.
class EnumerationNode : public NodeBase, public GenApi::IEnumeration {
public:
    using Getter = std::function<int(sim::CameraDeviceState&)>;
    using Setter = std::function<void(sim::CameraDeviceState&, int)>;
    EnumerationNode(std::string name, const bool* open, std::vector<std::string> symbols, Getter get, Setter set)
        : NodeBase(std::move(name), GenApi::RW, open), m_get(std::move(get)), m_set(std::move(set)) {
        for (auto& symbol : symbols) m_entries.push_back(std::make_unique<EnumEntryNode>(symbol, GenApi::RO));
    }

    GenApi::IEnumEntry* GetEntryByName(const gcstring& name) override {
        for (auto& entry : m_entries) {
            if (entry->GetSymbolic() == name) return entry.get();
        }
        return nullptr;
    }
    gcstring ToString() override {
        CheckReadable();
        auto lock = Camera().Lock();
        const int index = m_get(Camera().State());
        return index >= 0 && index < static_cast<int>(m_entries.size()) ? m_entries[static_cast<size_t>(index)]->GetSymbolic()
                                                                        : std::string();
    }
    void FromString(const gcstring& value, bool) override {
        CheckWritable();
        for (size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i]->GetSymbolic() == value) {
                {
                    auto lock = Camera().Lock();
                    m_set(Camera().State(), static_cast<int>(i));
                }
                CountWrite();
                return;
            }
        }
        throw GenICam::GenericException("Feature '" + m_name + "' : cannot convert value '" + value +
                                        "', the value is invalid.");
    }

private:
    std::vector<std::unique_ptr<EnumEntryNode>> m_entries;
    Getter m_get;
    Setter m_set;
};

constexpr int kPackedFormatIndex = 4;
int BitsToFormatIndex(int bits) { return bits == 8 ? 0 : bits == 10 ? 1 : bits == 16 ? 3 : 2; }
int FormatIndexToBits(int index) { return index == 0 ? 8 : index == 1 ? 10 : index == 3 ? 16 : 12; }

// The node map of the virtual camera.
class VirtualNodeMap : public GenApi::INodeMap {
public:
    explicit VirtualNodeMap(const bool* open) {
        using State = sim::CameraDeviceState;
        auto integer = [&](const char* name, EAccessMode mode, IntegerNode::Getter get, IntegerNode::Setter set,
                           IntegerNode::Getter min, IntegerNode::Getter max) {
            Add(std::make_unique<IntegerNode>(name, mode, open, get, set, min, max));
        };
        auto fixed = [](int64_t value) { return [value](State&) { return value; }; };
        auto noSet = [](State&, int64_t) {};

        integer("Width", GenApi::RW, [](State& s) -> int64_t { return s.parameters.width; },
                [](State& s, int64_t v) { s.parameters.width = static_cast<int>(v); }, fixed(16),
                [](State& s) -> int64_t { return s.identity.sensorWidth - s.parameters.left; });
        integer("Height", GenApi::RW, [](State& s) -> int64_t { return s.parameters.height; },
                [](State& s, int64_t v) { s.parameters.height = static_cast<int>(v); }, fixed(16),
                [](State& s) -> int64_t { return s.identity.sensorHeight - s.parameters.top; });
        integer("OffsetX", GenApi::RW, [](State& s) -> int64_t { return s.parameters.left; },
                [](State& s, int64_t v) { s.parameters.left = static_cast<int>(v); }, fixed(0),
                [](State& s) -> int64_t { return s.identity.sensorWidth - s.parameters.width; });
        integer("OffsetY", GenApi::RW, [](State& s) -> int64_t { return s.parameters.top; },
                [](State& s, int64_t v) { s.parameters.top = static_cast<int>(v); }, fixed(0),
                [](State& s) -> int64_t { return s.identity.sensorHeight - s.parameters.height; });
        integer("LineStatusAll", GenApi::RO,
                [](State& s) -> int64_t {
                    // Output lines are opto-isolated: the line is high while its
                    // user output is low.
                    int64_t status = 0;
                    for (int line = 0; line < 4; ++line) {
                        const int source = s.parameters.lineSource[line];
                        if (s.parameters.lineIsOutput[line] && source >= 1 && source <= 3 &&
                            !s.parameters.userOutput[source - 1]) {
                            status |= int64_t{1} << line;
                        }
                    }
                    return status;
                },
                noSet, fixed(0), fixed(15));

        // The packed format is one the program does not read; it lets tests
        // show that such frames are refused.
        Add(std::make_unique<EnumerationNode>(
            "PixelFormat", open, std::vector<std::string>{"Mono8", "Mono10", "Mono12", "Mono16", "Mono12Packed"},
            [](State& s) {
                return s.parameters.packedSamples ? kPackedFormatIndex : BitsToFormatIndex(s.parameters.pixelBits);
            },
            [](State& s, int index) {
                s.parameters.packedSamples = index == kPackedFormatIndex;
                s.parameters.pixelBits = s.parameters.packedSamples ? 12 : FormatIndexToBits(index);
            }));
        const std::vector<std::string> autoModes{"Off", "Once", "Continuous"};
        Add(std::make_unique<EnumerationNode>(
            "GainAuto", open, autoModes, [](State& s) { return s.parameters.gainAuto ? 2 : 0; },
            [](State& s, int index) { s.parameters.gainAuto = index != 0; }));
        Add(std::make_unique<EnumerationNode>(
            "ExposureTimeAuto", open, autoModes, [](State& s) { return s.parameters.exposureAuto ? 2 : 0; },
            [](State& s, int index) { s.parameters.exposureAuto = index != 0; }));
        Add(std::make_unique<EnumerationNode>(
            "LineSelector", open, std::vector<std::string>{"Line1", "Line2", "Line3", "Line4"},
            [](State& s) { return s.parameters.lineSelector; },
            [](State& s, int index) { s.parameters.lineSelector = index; }));
        Add(std::make_unique<EnumerationNode>(
            "LineMode", open, std::vector<std::string>{"Input", "Output"},
            [](State& s) { return s.parameters.lineIsOutput[s.parameters.lineSelector] ? 1 : 0; },
            [](State& s, int index) { s.parameters.lineIsOutput[s.parameters.lineSelector] = index == 1; }));
        Add(std::make_unique<EnumerationNode>(
            "LineSource", open, std::vector<std::string>{"Off", "UserOutput1", "UserOutput2", "UserOutput3"},
            [](State& s) { return s.parameters.lineSource[s.parameters.lineSelector]; },
            [](State& s, int index) { s.parameters.lineSource[s.parameters.lineSelector] = index; }));
        Add(std::make_unique<EnumerationNode>(
            "UserOutputSelector", open, std::vector<std::string>{"UserOutput1", "UserOutput2", "UserOutput3"},
            [](State& s) { return s.parameters.userOutputSelector; },
            [](State& s, int index) { s.parameters.userOutputSelector = index; }));
        Add(std::make_unique<BooleanNode>(
            "UserOutputValue", GenApi::RW, open,
            [](State& s) { return s.parameters.userOutput[s.parameters.userOutputSelector]; },
            [](State& s, bool value) { s.parameters.userOutput[s.parameters.userOutputSelector] = value; }));

        Add(std::make_unique<FloatNode>(
            "Gain", GenApi::RW, open, [](State& s) { return s.parameters.gain; },
            [](State& s, double v) { s.parameters.gain = v; }, 0.0, 24.0));
        Add(std::make_unique<FloatNode>(
            "ExposureTime", GenApi::RW, open, [](State& s) { return s.parameters.exposureUs; },
            [](State& s, double v) { s.parameters.exposureUs = v; }, 20.0, 10000000.0));
        Add(std::make_unique<FloatNode>(
            "DeviceTemperature", GenApi::RO, open, [](State& s) { return s.identity.temperatureC; },
            [](State&, double) {}, -100.0, 1000.0));
    }

    GenApi::INode* GetNode(const gcstring& name) const override {
        auto it = m_nodes.find(name);
        return it == m_nodes.end() ? nullptr : it->second.get();
    }

private:
    void Add(std::unique_ptr<GenApi::INode> node) {
        const std::string name = node->GetName();
        m_nodes[name] = std::move(node);
    }

    std::map<std::string, std::unique_ptr<GenApi::INode>> m_nodes;
};

class GrabResult : public Pylon::CGrabResultData {
public:
    bool GrabSucceeded() const override { return succeeded; }
    const void* GetBuffer() const override { return wide.empty() ? static_cast<const void*>(buffer.data()) : wide.data(); }
    size_t GetBufferSize() const override { return wide.empty() ? buffer.size() : wide.size() * 2; }
    uint32_t GetWidth() const override { return width; }
    uint32_t GetHeight() const override { return height; }
    Pylon::EPixelType GetPixelType() const override { return pixelType; }
    gcstring GetErrorDescription() const override { return error; }

    bool succeeded = false;
    std::vector<uint8_t> buffer;
    std::vector<uint16_t> wide;  // two-byte samples as rendered, on a little-endian host
    uint32_t width = 0, height = 0;
    Pylon::EPixelType pixelType = Pylon::PixelType_Undefined;
    std::string error;
};

// Takes one event from a fault count (-1: every time).
bool TakeFault(int& count) {
    if (count == 0) return false;
    if (count > 0) --count;
    return true;
}

}  // namespace

namespace Pylon {

// The device behind an instant camera: the virtual camera, opened at most
// once at a time.
class IPylonDevice {
public:
    IPylonDevice() : m_nodeMap(&m_open) {
        auto lock = Camera().Lock();
        const auto& id = Camera().State().identity;
        m_info.SetFriendlyName(id.modelName + " (" + id.serialNumber + ")");
        m_info.SetSerialNumber(id.serialNumber);
        m_version = VersionInfo{id.sfncMajor, id.sfncMinor, id.sfncSubminor};
    }
    ~IPylonDevice() { Close(); }

    void Open() {
        if (m_open) return;
        if (!Camera().IsPresent(sim::CameraMake::Basler)) {
            throw GenICam::RuntimeException("Failed to open device '" + m_info.GetFriendlyName() +
                                            "': the device has been removed.");
        }
        auto lock = Camera().Lock();
        auto& state = Camera().State();
        if (state.faults.failOpen) {
            throw GenICam::RuntimeException("Failed to open device '" + m_info.GetFriendlyName() +
                                            "': the device is not responding.");
        }
        if (state.open) {
            throw GenICam::RuntimeException("Failed to open device '" + m_info.GetFriendlyName() +
                                            "': the device is controlled by another application.");
        }
        state.open = true;
        ++state.counters.opens;
        m_open = true;
    }
    void Close() {
        if (!m_open) return;
        auto lock = Camera().Lock();
        Camera().State().open = false;
        ++Camera().State().counters.closes;
        m_open = false;
    }

    bool m_open = false;
    VirtualNodeMap m_nodeMap;
    CDeviceInfo m_info;
    VersionInfo m_version;
};

void PylonInitialize() { ++g_runtimeStarts; }

void PylonTerminate(bool) {
    if (g_runtimeStarts > 0) --g_runtimeStarts;
}

CTlFactory& CTlFactory::GetInstance() {
    static CTlFactory factory;
    return factory;
}

IPylonDevice* CTlFactory::CreateFirstDevice(const CDeviceInfo&) {
    if (g_runtimeStarts <= 0) {
        throw GenICam::RuntimeException("The camera runtime has not been initialised.");
    }
    if (!Camera().IsPresent(sim::CameraMake::Basler)) {
        throw GenICam::RuntimeException(
            "No device is available or no device contains the provided device info properties.");
    }
    return new IPylonDevice();
}

void CInstantCamera::BufferCountParameter::SetValue(int64_t value) {
    if (value < 1) throw GenICam::OutOfRangeException("MaxNumBuffer must be at least 1");
    m_value = value;
}

CInstantCamera::CInstantCamera(IPylonDevice* device, ECleanupProcedure cleanup)
    : m_device(device), m_cleanup(cleanup) {
    if (!device) throw GenICam::GenericException("No device given to the camera.");
}

CInstantCamera::~CInstantCamera() {
    m_grabbing = false;
    m_device->Close();
    if (m_cleanup == Cleanup_Delete) delete m_device;
}

void CInstantCamera::Open() { m_device->Open(); }
void CInstantCamera::Close() {
    m_grabbing = false;
    m_device->Close();
}
bool CInstantCamera::IsOpen() const { return m_device->m_open; }
GenApi::INodeMap& CInstantCamera::GetNodeMap() { return m_device->m_nodeMap; }
const CDeviceInfo& CInstantCamera::GetDeviceInfo() const { return m_device->m_info; }
VersionInfo CInstantCamera::GetSfncVersion() const { return m_device->m_version; }

void CInstantCamera::StartGrabbing(size_t maxImages, EGrabStrategy, EGrabLoop) {
    if (!m_device->m_open) throw GenICam::RuntimeException("The camera is not open; grabbing cannot start.");
    if (m_grabbing) throw GenICam::RuntimeException("The camera is already grabbing.");
    m_imagesToGrab = maxImages;
    m_grabbing = maxImages > 0;
}

bool CInstantCamera::IsGrabbing() const { return m_grabbing; }

void CInstantCamera::StopGrabbing() { m_grabbing = false; }

bool CInstantCamera::RetrieveResult(unsigned timeoutMs, CGrabResultPtr& result, ETimeoutHandling handling) {
    result.Release();
    if (!m_grabbing) throw GenICam::RuntimeException("The camera is not grabbing.");
    if (!Camera().IsPresent(sim::CameraMake::Basler) || !m_device->m_open) {
        throw GenICam::RuntimeException("The device has been removed.");
    }
    auto grab = std::make_shared<GrabResult>();
    {
        auto lock = Camera().Lock();
        auto& faults = Camera().State().faults;
        if (TakeFault(faults.grabTimeouts)) {
            lock.unlock();
            if (handling == TimeoutHandling_ThrowException) {
                throw GenICam::TimeoutException("Grab timed out. Timeout: " + std::to_string(timeoutMs) + " ms.");
            }
            return false;
        }
        if (TakeFault(faults.failedGrabs)) {
            grab->succeeded = false;
            grab->error = "The buffer was incompletely grabbed.";
        } else {
            grab->succeeded = true;
        }
    }
    if (grab->succeeded) {
        bool packed = false;
        {
            auto lock = Camera().Lock();
            packed = Camera().State().parameters.packedSamples;
        }
        std::vector<uint16_t> samples;
        int width = 0, height = 0, bits = 12;
        Camera().RenderFrame(&samples, &width, &height, &bits);
        grab->width = static_cast<uint32_t>(width);
        grab->height = static_cast<uint32_t>(height);
        if (packed) {
            // Each pair: high bits of the first, both low nibbles, high bits of the second.
            grab->pixelType = PixelType_Mono12packed;
            grab->buffer.assign((samples.size() * 3 + 1) / 2, 0);
            for (size_t i = 0; i < samples.size(); ++i) {
                const size_t at = i / 2 * 3;
                const uint16_t value = samples[i] & 0x0FFF;
                if (i % 2 == 0) {
                    grab->buffer[at] = static_cast<uint8_t>(value >> 4);
                    grab->buffer[at + 1] |= static_cast<uint8_t>(value & 0x0F);
                } else {
                    grab->buffer[at + 1] |= static_cast<uint8_t>((value & 0x0F) << 4);
                    grab->buffer[at + 2] = static_cast<uint8_t>(value >> 4);
                }
            }
        } else if (bits == 8) {
            grab->pixelType = PixelType_Mono8;
            grab->buffer.assign(samples.begin(), samples.end());
        } else {
            grab->pixelType = bits == 10 ? PixelType_Mono10 : bits == 16 ? PixelType_Mono16 : PixelType_Mono12;
            if constexpr (std::endian::native == std::endian::little) {
                grab->wide = std::move(samples);
            } else {
                grab->buffer.resize(samples.size() * 2);
                for (size_t i = 0; i < samples.size(); ++i) {  // little-endian
                    grab->buffer[2 * i] = static_cast<uint8_t>(samples[i] & 0xFF);
                    grab->buffer[2 * i + 1] = static_cast<uint8_t>(samples[i] >> 8);
                }
            }
        }
        auto lock = Camera().Lock();
        ++Camera().State().counters.grabs;
    }
    result = CGrabResultPtr(grab);
    if (--m_imagesToGrab == 0) m_grabbing = false;
    return true;
}

}  // namespace Pylon
