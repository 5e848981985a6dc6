#pragma once

// The cartridge catalogue: one definition file per cartridge type in the data
// root's Cartridge folder ("*.ini": [General] Type, [BarcodeFormats] f01..f10,
// [BarcodeIDs] ids, [OffsetsInMicron] UpperChannelOffset and
// LowerChannelOffset, [SampleLoadInMicroLitre] SampleAspirateVolume). The
// catalogue is loaded once at the end of start-up; it tells which type a bar
// code (or a cartridge type code) belongs to and writes a type's channel rows
// and sample volume into a settings file.
//
// Errors: a false result and an error text that names the operation or the
// definition file. g_CartridgeTypes is filled only by LoadCartridgeTypes, on
// the user-interface thread at start-up; afterwards it is only read.

#include <vector>

#include "platform/CString.h"
#include "support/SortedPtrList.h"
#include "support/String.h"

// The cartridge type codes (three digits, dash, three digits, dash, four
// digits) of the four cartridge choices: K4.1, K4.1-IR, K4.3 and K4.3-IR. Each
// is matched by the definition file of its type like a bar code.
constexpr const char* kCartridgeTypeCodes[4] = {"410-001-0001", "411-001-0001", "430-001-0001", "431-001-0001"};

class CartridgeType {
public:
    Tovanix::String m_strFilePath;                 // the definition file it was read from
    std::vector<Tovanix::String> m_BarcodeFormats; // f01, f02, ...: '#' any digit; '-', 'G', 'N' themselves
    std::vector<Tovanix::String> m_BarcodeIDs;     // bar-code prefixes, in file order
    Tovanix::String m_strTypeName;                 // [General] Type

    // Reads one definition file. False when any value is wrong; the error
    // text then starts with "CartridgeFile: <path>" and has one line per
    // problem.
    bool LoadCartridgeTypeFile(const char* filePath, CString& error);

    // True when the bar code has the length and characters of one of the
    // formats and starts with one of the ids (case-sensitive).
    bool MatchesBarcode(const char* barcode) const;
};

// Owns its definitions; sorted by type name (byte order), equal names kept.
// Its item order is the load order, which the bar-code search follows.
class CartridgeTypeList
    : public Tovanix::SortedPtrList<CartridgeType, Tovanix::TextOrder<&CartridgeType::m_strTypeName>> {
public:
    CartridgeTypeList() { flags = kOwnsElements | kSorted; }
};

extern CartridgeTypeList g_CartridgeTypes;

// Replaces the catalogue by the definition files of <data root>\Cartridge, in
// the order of their names (letter case aside). Files with errors are left
// out; true exactly when every file loaded. Folder problems are also logged.
bool LoadCartridgeTypes(CString& error);

// The first definition, in load order, that matches the bar code: its type
// name and file path with true; false with the outputs unchanged.
bool FindCartridgeTypeByBarcode(const char* barcode, Tovanix::String& typeName, Tovanix::String& filePath);

// Writes [ExperimentSettings] CartridgeType and Barcode, then [Cartridge]
// CartridgeUpperChannel and CartridgeLowerChannel (the calibrated channel rows
// of the settings file shifted by the type's offsets, converted to pixels and
// limited to +-2000) and SampleAspirateVolume into the settings file. Keys
// written before a failure stay written.
bool ImposeCartridgeTypeOffsets(const char* settingsFile, const char* barcode, CString& error);

// The type's upper channel offset in pixels at the settings file's scale,
// without writing anything and without the +-2000 limit.
bool GetCartridgeTypeOffsetIntValues(const char* settingsFile, const char* barcode, int* upperOffsetPixels,
                                     CString& error);
