-- wrk script: the client's search request for "2013" (ASCII, so the same bytes in GBK).
wrk.method = "POST"
wrk.path = "/zelk_client.php"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["User-Agent"] = "zelk-client-http"
wrk.body = "action=search&word=2013"
