#pragma once
// The host program's resources: the dialog templates that the feeds' configuration
// dialogs are built from, looked up by name in the main program.
#include "platform/ui/DialogTemplate.h"

DialogTemplate FileFeedDialogTemplate();
DialogTemplate IptvConfigDialogTemplate();
DialogTemplate IptvHistoryDialogTemplate();
DialogTemplate TransponderListDialogTemplate();
DialogTemplate SatIpPidAllNoticeTemplate();
DialogTemplate SatIpSsdpStopTemplate();
DialogTemplate SatIpServerSelectTemplate();
DialogTemplate SatIpSatellitePageTemplate();
DialogTemplate SatIpTerrestrialPageTemplate();
DialogTemplate SatIpCablePageTemplate();
DialogTemplate PciSatelliteDialogTemplate();
DialogTemplate PciCableDialogTemplate();
DialogTemplate PciTerrestrialDialogTemplate();
DialogTemplate BdaSelectTypeDialogTemplate();
DialogTemplate BdaSatelliteDialogTemplate();
DialogTemplate BdaCableDialogTemplate();
DialogTemplate BdaTerrestrialDialogTemplate();
DialogTemplate BdaAtscDialogTemplate();

// Registers every template and icon above with the main program as their module.
void RegisterHostResources();
