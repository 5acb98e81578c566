-- wrk script: the client's search request, a raw GBK body ("教程" as two GBK characters).
wrk.method = "POST"
wrk.path = "/zelk_client.php"
wrk.headers["Content-Type"] = "application/x-www-form-urlencoded"
wrk.headers["User-Agent"] = "zelk-client-http"
wrk.body = "action=search&word=\189\204\179\204"
