#pragma once
// The transponder dialog's remembered choices and favourites, under
// "Software\Velmar\<application>\TransponderSelection". Every change is stored at once.
#include <set>
#include <string>

#include "feeds/transponders/TransponderList.h"

class TransponderSelection {
public:
    // A null application reads as nothing stored and stores nothing.
    explicit TransponderSelection(const char* application);

    // "ShowOnlyFav", "SatFilter" and "filter"; missing values read as off, 0 and empty.
    TransponderFilter LoadFilter() const;
    void StoreFavouritesOnly(bool on) const;
    void StoreSatellite(uint16_t position) const;
    void StoreText(const std::string& text) const;

    // The keys stored with a non-zero number, read in one pass over the key.
    std::set<std::string> Favourites() const;
    // Marked: the value key = 1. Cleared: the value goes, and the key too when nothing
    // is left in it.
    void SetFavourite(const std::string& key, bool marked) const;

private:
    std::string key_;
};
