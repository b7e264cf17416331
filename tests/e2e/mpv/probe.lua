-- Reports what mpv plays, for the end-to-end tests: one "PROBE {...}" line
-- per loaded file with its title, path, the playlist's size and entries,
-- and its external subtitle tracks (file, title, language, whether shown).
-- With --script-opts=probe-max=N it quits after the N-th file;
-- probe-quit-after=S quits S seconds after start, and probe-next-after=S
-- moves to the next entry S seconds after start, whatever mpv is doing.
local utils = require "mp.utils"
local loaded = 0
local max = tonumber(mp.get_opt("probe-max") or "0")
local quit_after = tonumber(mp.get_opt("probe-quit-after") or "")
local next_after = tonumber(mp.get_opt("probe-next-after") or "")

if quit_after then
    mp.add_timeout(quit_after, function()
        print("PROBE-QUIT")
        mp.commandv("quit", "4")
    end)
end
if next_after then
    mp.add_timeout(next_after, function()
        print("PROBE-NEXT")
        mp.commandv("playlist-next", "force")
    end)
end

-- A short file may end before this script has read the event of its
-- loading, and the properties it then reads would be the next file's. mpv
-- waits for every script's on_unload hook before it closes a file, and this
-- script answers that hook only after the events before it: so the file is
-- still the current one while its event is read.
mp.add_hook("on_unload", 50, function() end)

mp.register_event("file-loaded", function()
    loaded = loaded + 1
    local subs, tracks = {}, {}
    for _, track in ipairs(mp.get_property_native("track-list") or {}) do
        if track.type == "sub" and track.external then
            table.insert(subs, track["external-filename"])
            table.insert(tracks, {file = track["external-filename"], title = track.title or "",
                                  lang = track.lang or "", selected = track.selected})
        end
    end
    local entries = {}
    if loaded == 1 then
        for _, item in ipairs(mp.get_property_native("playlist") or {}) do
            table.insert(entries, {title = item.title or "", filename = item.filename})
        end
    end
    print("PROBE " .. utils.format_json({
        title = mp.get_property("media-title"),
        path = mp.get_property("path"),
        count = mp.get_property_number("playlist-count"),
        playlist = entries,
        subs = subs,
        tracks = tracks,
    }))
    if max > 0 and loaded >= max then mp.commandv("quit", "0") end
end)
