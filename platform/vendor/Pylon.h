#pragma once

// Camera library of the Basler make: runtime start and stop, the first device
// of the transport-layer factory, the instant camera with grabbing and grab
// results, and the camera's node map with its parameters by name, as far as the
// Basler camera driver uses them. Every failure is a GenICam::GenericException
// (a grab time-out a TimeoutException). On this platform the calls are served
// by the virtual instrument's camera (sim/VirtualPylon.cpp).

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace GenICam {

using gcstring = std::string;

class GenericException : public std::exception {
public:
    explicit GenericException(std::string description) : m_description(std::move(description)) {}
    const char* GetDescription() const noexcept { return m_description.c_str(); }
    const char* what() const noexcept override { return m_description.c_str(); }

private:
    std::string m_description;
};

class AccessException : public GenericException {
public:
    using GenericException::GenericException;
};

class OutOfRangeException : public GenericException {
public:
    using GenericException::GenericException;
};

class RuntimeException : public GenericException {
public:
    using GenericException::GenericException;
};

class TimeoutException : public GenericException {
public:
    using GenericException::GenericException;
};

}  // namespace GenICam

namespace GenApi {

using GenICam::gcstring;

enum EAccessMode { NI, NA, WO, RO, RW };

class INode {
public:
    virtual ~INode() = default;
    virtual gcstring GetName() const = 0;
    virtual EAccessMode GetAccessMode() const = 0;
};

// Every value node can be read and written as text.
class IValue : virtual public INode {
public:
    virtual gcstring ToString() = 0;
    virtual void FromString(const gcstring& value, bool verify = true) = 0;
};

class IInteger : virtual public IValue {
public:
    virtual int64_t GetValue() = 0;
    virtual void SetValue(int64_t value, bool verify = true) = 0;
    virtual int64_t GetMin() = 0;
    virtual int64_t GetMax() = 0;
};

class IFloat : virtual public IValue {
public:
    virtual double GetValue() = 0;
    virtual void SetValue(double value, bool verify = true) = 0;
};

class IBoolean : virtual public IValue {
public:
    virtual bool GetValue() = 0;
    virtual void SetValue(bool value, bool verify = true) = 0;
};

class IEnumEntry : virtual public INode {
public:
    virtual gcstring GetSymbolic() const = 0;
};

class IEnumeration : virtual public IValue {
public:
    // Null when the enumeration has no entry of that name.
    virtual IEnumEntry* GetEntryByName(const gcstring& name) = 0;
};

class INodeMap {
public:
    virtual ~INodeMap() = default;
    // Null when the camera has no node of that name.
    virtual INode* GetNode(const gcstring& name) const = 0;
};

// A node pointer of one kind: empty when the node is missing or of another kind.
template <class T>
class CPointer {
public:
    CPointer(INode* node = nullptr) : m_node(dynamic_cast<T*>(node)) {}  // NOLINT: implicit by design
    bool IsValid() const { return m_node != nullptr; }
    explicit operator bool() const { return IsValid(); }
    T* operator->() const {
        if (!m_node) throw GenICam::AccessException("Node does not exist");
        return m_node;
    }
    T* get() const { return m_node; }

private:
    T* m_node;
};

using CIntegerPtr = CPointer<IInteger>;
using CFloatPtr = CPointer<IFloat>;
using CBooleanPtr = CPointer<IBoolean>;
using CEnumerationPtr = CPointer<IEnumeration>;
using CEnumEntryPtr = CPointer<IEnumEntry>;

inline bool IsWritable(EAccessMode mode) { return mode == WO || mode == RW; }
inline bool IsAvailable(EAccessMode mode) { return mode != NI && mode != NA; }
template <class T>
bool IsWritable(const CPointer<T>& node) { return node.IsValid() && IsWritable(node.get()->GetAccessMode()); }
template <class T>
bool IsAvailable(const CPointer<T>& node) { return node.IsValid() && IsAvailable(node.get()->GetAccessMode()); }

}  // namespace GenApi

namespace Pylon {

using String_t = GenICam::gcstring;

// Starts and stops the runtime.
void PylonInitialize();
void PylonTerminate(bool shutDownLogging = true);

class CDeviceInfo {
public:
    String_t GetFriendlyName() const { return m_friendlyName; }
    void SetFriendlyName(const String_t& name) { m_friendlyName = name; }
    String_t GetSerialNumber() const { return m_serialNumber; }
    void SetSerialNumber(const String_t& serial) { m_serialNumber = serial; }

private:
    String_t m_friendlyName;
    String_t m_serialNumber;
};

class IPylonDevice;

class CTlFactory {
public:
    static CTlFactory& GetInstance();
    // The first device matching the filter (an empty filter matches any);
    // throws when there is none.
    IPylonDevice* CreateFirstDevice(const CDeviceInfo& filter = CDeviceInfo());
};

enum ECleanupProcedure { Cleanup_None, Cleanup_Delete };
enum EGrabStrategy { GrabStrategy_OneByOne, GrabStrategy_LatestImageOnly };
enum EGrabLoop { GrabLoop_ProvidedByInstantCamera, GrabLoop_ProvidedByUser };
enum ETimeoutHandling { TimeoutHandling_Return, TimeoutHandling_ThrowException };

enum EPixelType : uint32_t {
    PixelType_Undefined = 0,
    PixelType_Mono8 = 0x01080001,
    PixelType_Mono10 = 0x01100003,
    PixelType_Mono12 = 0x01100005,
    PixelType_Mono16 = 0x01100007,
    PixelType_Mono12packed = 0x010C0006,  // two samples in three bytes
};

// Version of the camera's standard feature naming convention.
struct VersionInfo {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned subminor = 0;
    friend bool operator<(const VersionInfo& a, const VersionInfo& b) {
        if (a.major != b.major) return a.major < b.major;
        if (a.minor != b.minor) return a.minor < b.minor;
        return a.subminor < b.subminor;
    }
    friend bool operator>=(const VersionInfo& a, const VersionInfo& b) { return !(a < b); }
};
inline constexpr VersionInfo Sfnc_2_0_0{2, 0, 0};

class CGrabResultData {
public:
    virtual ~CGrabResultData() = default;
    virtual bool GrabSucceeded() const = 0;
    virtual const void* GetBuffer() const = 0;
    virtual size_t GetBufferSize() const = 0;
    virtual uint32_t GetWidth() const = 0;
    virtual uint32_t GetHeight() const = 0;
    virtual EPixelType GetPixelType() const = 0;
    virtual String_t GetErrorDescription() const = 0;
};

class CGrabResultPtr {
public:
    CGrabResultPtr() = default;
    explicit CGrabResultPtr(std::shared_ptr<CGrabResultData> data) : m_data(std::move(data)) {}
    bool IsValid() const { return m_data != nullptr; }
    explicit operator bool() const { return IsValid(); }
    CGrabResultData* operator->() const {
        if (!m_data) throw GenICam::AccessException("Grab result is not valid");
        return m_data.get();
    }
    void Release() { m_data.reset(); }

private:
    std::shared_ptr<CGrabResultData> m_data;
};

class CInstantCamera {
public:
    // Takes the device; with Cleanup_Delete the camera deletes it.
    explicit CInstantCamera(IPylonDevice* device, ECleanupProcedure cleanup = Cleanup_Delete);
    ~CInstantCamera();
    CInstantCamera(const CInstantCamera&) = delete;
    CInstantCamera& operator=(const CInstantCamera&) = delete;

    void Open();
    void Close();
    bool IsOpen() const;
    GenApi::INodeMap& GetNodeMap();
    const CDeviceInfo& GetDeviceInfo() const;
    VersionInfo GetSfncVersion() const;

    void StartGrabbing(size_t maxImages, EGrabStrategy strategy = GrabStrategy_OneByOne,
                       EGrabLoop loop = GrabLoop_ProvidedByUser);
    bool IsGrabbing() const;
    // False on a time-out with TimeoutHandling_Return; a TimeoutException otherwise.
    bool RetrieveResult(unsigned timeoutMs, CGrabResultPtr& result,
                        ETimeoutHandling handling = TimeoutHandling_ThrowException);
    void StopGrabbing();

    // Number of buffers the camera allocates for grabbing.
    class BufferCountParameter {
    public:
        void SetValue(int64_t value);
        int64_t GetValue() const { return m_value; }

    private:
        int64_t m_value = 10;
    } MaxNumBuffer;

private:
    IPylonDevice* m_device;
    ECleanupProcedure m_cleanup;
    size_t m_imagesToGrab = 0;
    bool m_grabbing = false;
};

}  // namespace Pylon
