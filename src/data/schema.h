#pragma once

// Names of the service-policy tables, codes and host-kept record keys as the screen uses them.
namespace nv407::schema {

inline constexpr const char* kPolizaServicio = "Poliza_Servicio";
inline constexpr const char* kPolizaServicioUpper = "POLIZA_SERVICIO";  // record viewer, notes
inline constexpr const char* kFolioColumn = "Ps_Folio";
// The width of a folio, branch and zero-padded number: the screen asks for new folios this
// wide, and the host pads what users type to it.
inline constexpr int kFolioWidth = 10;
inline constexpr const char* kExtendedTextEntry = "0001";

inline constexpr const char* kStateCancelled = "CA";  // Poliza_Servicio.Es_Cve_Estado

}  // namespace nv407::schema
