#!/usr/bin/env python3
"""Scrapes a Prometheus endpoint and parses the answer with prometheus_client's own
exposition-format parser. Prints the content type, then one line per sample:
<family> <type> <sample> <value>. Exits 1 (with the parser's reason) when the text
does not parse."""
import sys
import urllib.request

try:
    from prometheus_client.parser import text_string_to_metric_families
except ImportError:
    sys.exit("scrape_metrics: python3 module prometheus_client is missing "
             "(Debian package python3-prometheus-client; run 'sudo make deps')")

with urllib.request.urlopen(sys.argv[1], timeout=10) as answer:
    print("content-type", answer.headers.get("Content-Type"))
    text = answer.read().decode("utf-8")
try:
    for family in text_string_to_metric_families(text):
        for sample in family.samples:
            print(family.name, family.type, sample.name, sample.value)
except ValueError as error:
    sys.exit(f"scrape_metrics: the exposition does not parse: {error}")
