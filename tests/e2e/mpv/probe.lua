-- Reports what mpv plays, for the end-to-end tests: one "PROBE {...}" line
-- per loaded file with its title, path, the playlist's size and entries,
-- and its external subtitle files. With --script-opts=probe-max=N it quits
-- after the N-th file.
local utils = require "mp.utils"
local loaded = 0
local max = tonumber(mp.get_opt("probe-max") or "0")

mp.register_event("file-loaded", function()
    loaded = loaded + 1
    local subs = {}
    for _, track in ipairs(mp.get_property_native("track-list") or {}) do
        if track.type == "sub" and track.external then
            table.insert(subs, track["external-filename"])
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
    }))
    if max > 0 and loaded >= max then mp.commandv("quit", "0") end
end)
