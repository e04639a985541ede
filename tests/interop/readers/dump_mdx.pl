#!/usr/bin/perl
# Lists the tags of a dBASE IV production index as Perl XBase::Index
# (libdbd-xbase-perl) reads them and walks each tag in index order:
#   T|<name>|<key length>|<key type>|<expression>
#   K|<name>|<key bytes hex>|<record number>
# XBase::mdx does not decode expressions; the expression printed is the
# NUL-ended text at offset 24 of the tag's header page (dBASE IV layout).
use strict;
use warnings;
use XBase::Index;

my $file = $ARGV[0];
my $probe = XBase::Index->new($file) or die XBase::Index->errstr;
my @tags = $probe->tags;
open my $fh, '<:raw', $file or die "$file: $!";
for my $name (@tags) {
    my $idx = XBase::Index->new($file, 'tag' => $name) or die XBase::Index->errstr;
    my $tag = $idx->{'active'};
    my $raw = '';
    seek($fh, $tag->{'header_page'} * 512 + 24, 0) and read($fh, $raw, 220);
    $raw =~ s/\0.*//s;
    print join('|', 'T', $name, $tag->{'key_length'}, $tag->{'key_type_1'}, $raw), "\n";
    $idx->prepare_select or die $idx->errstr;
    my $guard = 0;
    while (my ($key, $recno) = $idx->fetch) {
        print join('|', 'K', $name, unpack('H*', $key), $recno), "\n";
        die "runaway walk\n" if ++$guard > 1000000;
    }
}
