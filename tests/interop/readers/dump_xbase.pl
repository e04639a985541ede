#!/usr/bin/perl
# Prints every record of a .dbf as Perl XBase (libdbd-xbase-perl) reads it,
# in the same line format as dump_pydbf.py: H|<version hex>|-|fields..., then R|<deleted>|<field>=<value>|... Text and memo values
# are the hex of their bytes, numbers %.4f, dates YYYYMMDD, logicals T/F/-.
use strict;
use warnings;
use XBase;

my $t = XBase->new(name => $ARGV[0]) or die XBase->errstr;
my @names = $t->field_names;
my @types = $t->field_types;
my @lens = $t->field_lengths;
my @decs = $t->field_decimals;
my @head = ('H', sprintf('%02x', $t->{'version'}), '-');
push @head, "$names[$_]:$types[$_]:$lens[$_]:$decs[$_]" for 0 .. $#names;
print join('|', @head), "\n";
for my $i (0 .. $t->last_record) {
    my ($deleted, @v) = $t->get_record($i);
    die $t->errstr unless defined $deleted;
    my @out = ('R', $deleted ? 1 : 0);
    for my $k (0 .. $#names) {
        my ($type, $val) = ($types[$k], $v[$k]);
        my $s;
        if (!defined $val || ($type =~ /[CM]/ && $val =~ /^ *$/)) { $s = '-'; }
        elsif ($type eq 'C') { $val =~ s/ +$//; $s = unpack('H*', $val); }
        elsif ($type eq 'M') { $s = unpack('H*', $val); }
        elsif ($type =~ /[NF]/) { $s = ($val =~ /^\s*$/) ? '-' : sprintf('%.4f', $val); }
        elsif ($type eq 'D') { $s = ($val =~ /^\s*$/) ? '-' : $val; }
        elsif ($type eq 'L') { $s = $val ? 'T' : 'F'; }
        else { $s = $val; }
        push @out, "$names[$k]=$s";
    }
    print join('|', @out), "\n";
}
$t->close;
