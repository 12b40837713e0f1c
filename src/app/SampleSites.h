#pragma once
// The four sample host names, numbered 1 to 4: each is the host its site's pages are served
// from, so that a block line for it really blocks the site.

#include <array>

inline constexpr const char* kSampleSite1 = "www.facebook.com";   // a large social network
inline constexpr const char* kSampleSite2 = "x.com";              // a microblogging service
inline constexpr const char* kSampleSite3 = "www.instagram.com";  // a second social network
inline constexpr const char* kSampleSite4 = "www.youtube.com";    // a video-sharing site

// "Load Sample/Example Sites" appends them in the order 1, 2, 3, 4.
inline constexpr std::array<const char*, 4> kSampleSites = {kSampleSite1, kSampleSite2, kSampleSite3,
                                                            kSampleSite4};
// An empty stored list starts as the default list: 1, 3, 4, 2.
inline constexpr std::array<const char*, 4> kDefaultList = {kSampleSite1, kSampleSite3, kSampleSite4,
                                                            kSampleSite2};
