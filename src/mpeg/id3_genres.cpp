#include "mpeg/id3_genres.h"

#include <algorithm>
#include <array>
#include <vector>

namespace quaverly::mpeg {

namespace {

constexpr std::array<std::string_view, 192> kGenres = {
    // The list of ID3v1 itself.
    "Blues", "Classic Rock", "Country", "Dance", "Disco",                      // 0
    "Funk", "Grunge", "Hip-Hop", "Jazz", "Metal",                              // 5
    "New Age", "Oldies", "Other", "Pop", "R&B",                                // 10
    "Rap", "Reggae", "Rock", "Techno", "Industrial",                           // 15
    "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack",               // 20
    "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk",                // 25
    "Fusion", "Trance", "Classical", "Instrumental", "Acid",                   // 30
    "House", "Game", "Sound Clip", "Gospel", "Noise",                          // 35
    "AlternRock", "Bass", "Soul", "Punk", "Space",                             // 40
    "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", // 45
    "Darkwave", "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance",    // 50
    "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta",                     // 55
    "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",        // 60
    "Cabaret", "New Wave", "Psychedelic", "Rave", "Showtunes",                 // 65
    "Trailer", "Lo-Fi", "Tribal", "Acid Punk", "Acid Jazz",                    // 70
    "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock",                   // 75
    // The extension that players and taggers took up after it.
    "Folk", "Folk-Rock", "National Folk", "Swing", "Fast Fusion",                          // 80
    "Bebob", "Latin", "Revival", "Celtic", "Bluegrass",                                    // 85
    "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock", "Symphonic Rock", // 90
    "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",                       // 95
    "Humour", "Speech", "Chanson", "Opera", "Chamber Music",                               // 100
    "Sonata", "Symphony", "Booty Bass", "Primus", "Porn Groove",                           // 105
    "Satire", "Slow Jam", "Club", "Tango", "Samba",                                        // 110
    "Folklore", "Ballad", "Power Ballad", "Rhythmic Soul", "Freestyle",                    // 115
    "Duet", "Punk Rock", "Drum Solo", "A Cappella", "Euro-House",                          // 120
    "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore",                          // 125
    "Terror", "Indie", "BritPop", "Afro-Punk", "Polsk Punk",                               // 130
    "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal", "Crossover",            // 135
    "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal",       // 140
    "Anime", "JPop", "Synthpop", "Abstract", "Art Rock",                                   // 145
    "Baroque", "Bhangra", "Big Beat", "Breakbeat", "Chillout",                             // 150
    "Downtempo", "Dub", "EBM", "Eclectic", "Electro",                                      // 155
    "Electroclash", "Emo", "Experimental", "Garage", "Global",                             // 160
    "IDM", "Illbient", "Industro-Goth", "Jam Band", "Krautrock",                           // 165
    "Leftfield", "Lounge", "Math Rock", "New Romantic", "Nu-Breakz",                       // 170
    "Post-Punk", "Post-Rock", "Psytrance", "Shoegaze", "Space Rock",                       // 175
    "Trop Rock", "World Music", "Neoclassical", "Audiobook", "Audio Theatre",              // 180
    "Neue Deutsche Welle", "Podcast", "Indie Rock", "G-Funk", "Dubstep",                   // 185
    "Garage Rock", "Psybient",                                                             // 190
};

// A value of "(1)(2)(3)..." names each genre once, and no more than this many: more are a trap.
constexpr std::size_t kMostReferences = 16;

// The genre that the text between parentheses, or a whole value, refers to; "" when none.
std::string_view ReferenceName(std::string_view reference) {
    if (reference == "RX") {
        return "Remix";
    }
    if (reference == "CR") {
        return "Cover";
    }
    if (reference.empty() || reference.size() > 3) {
        return {};
    }
    unsigned number = 0;
    for (const char digit : reference) {
        if (digit < '0' || digit > '9') {
            return {};
        }
        number = number * 10 + static_cast<unsigned>(digit - '0');
    }
    return Id3GenreName(number);
}

} // namespace

std::string_view Id3GenreName(unsigned number) {
    return number < kGenres.size() ? kGenres[number] : std::string_view();
}

std::string GenreFromContentType(std::string_view value) {
    std::vector<std::string_view> names;
    std::size_t at = 0;
    while (at < value.size() && value[at] == '(') {
        if (value.substr(at, 2) == "((") {
            ++at; // the text, its first "(" doubled
            break;
        }
        const std::size_t close = value.find(')', at);
        const std::string_view name = close == std::string_view::npos
                                          ? std::string_view()
                                          : ReferenceName(value.substr(at + 1, close - at - 1));
        if (name.empty()) {
            break;
        }
        if (names.size() < kMostReferences &&
            std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
        at = close + 1;
    }
    if (at < value.size()) {
        const std::string_view text = value.substr(at);
        const std::string_view name = names.empty() ? ReferenceName(text) : std::string_view();
        return std::string(name.empty() ? text : name);
    }
    std::string joined;
    for (const std::string_view name : names) {
        joined.append(joined.empty() ? "" : " / ").append(name);
    }
    return joined;
}

} // namespace quaverly::mpeg
