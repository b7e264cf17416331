-- wrk: a depth-1 PROPFIND with an allprop body, the request a WebDAV client
-- (rclone, a player, a media server) sends to list a folder.
wrk.method = "PROPFIND"
wrk.headers["Depth"] = "1"
wrk.headers["Content-Type"] = "application/xml"
wrk.body = '<?xml version="1.0" encoding="utf-8"?><d:propfind xmlns:d="DAV:"><d:allprop/></d:propfind>'
